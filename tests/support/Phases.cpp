#include "tests/support/Phases.h"

#include "tests/support/Controls.h"
#include "tests/support/DialogTexts.h"
#include "tests/support/Text.h"

#include <cwctype>
#include <sstream>

namespace TestSupport {

std::wstring ForestDetails(const std::wstring& dc) {
    std::wstring host = dc;
    for (auto& c : host) c = static_cast<wchar_t>(std::towlower(c));
    return L"DNS name:\r\n  " + host + L".samdom.test\r\n\r\nSchema owner name:\r\n  CN=" + dc +
           L",CN=Servers,CN=Default-First-Site-Name,CN=Sites,CN=Configuration,DC=samdom,DC=test\r\n\r\n"
           L"Domain name:\r\n  DC=samdom,DC=test";
}

namespace {

enum class Step { Details, Running, Finished };

// The ten controls in tab order, and what each shows at each step. The
// picture's and the bar's window texts say nothing of what they show.
Phase At(Step step, const std::wstring& details, const std::wstring& result, bool setupEnabled) {
    const bool atDetails = step == Step::Details, running = step == Step::Running, finished = step == Step::Finished;
    return {
        {IDC_SETUP, true, atDetails && setupEnabled, L"&Setup"},
        {IDCANCEL, true, true, finished ? L"&Exit" : L"Cancel"},
        {IDC_INSTRUCTION, true, true, atDetails ? kInstructionText : running ? kRunningText : kFinishedText},
        {IDC_WAIT_LABEL, running, true, kWaitLabel},
        {IDC_PROGRESS, running, true, std::nullopt},
        {IDC_DETAILS_GROUP, atDetails, true, kGroupCaption},
        {IDC_DETAILS, atDetails, true, finished ? std::nullopt : std::optional<std::wstring>(details)},
        {IDC_TITLE, true, true, kTitleText},
        {IDC_STATUS_PICTURE, finished, true, std::nullopt},
        {IDC_RESULT_TEXT, finished, true, result},
    };
}

}  // namespace

Phase DetailsPhase(const std::wstring& details, bool setupEnabled) {
    return At(Step::Details, details, L"", setupEnabled);
}

Phase RunningPhase(const std::wstring& details) { return At(Step::Running, details, L"", false); }

Phase FinishedPhase(const std::wstring& result) { return At(Step::Finished, L"", result, false); }

testing::AssertionResult ShowsPhase(HWND dialog, const Phase& phase) {
    std::ostringstream problems;
    for (const auto& want : phase) {
        if (!::GetDlgItem(dialog, want.id)) {
            problems << "\n  control " << want.id << " is missing";
            continue;
        }
        if (ItemVisible(dialog, want.id) != want.visible)
            problems << "\n  control " << want.id << (want.visible ? " hidden" : " visible");
        if (ItemEnabled(dialog, want.id) != want.enabled)
            problems << "\n  control " << want.id << (want.enabled ? " disabled" : " enabled");
        if (!want.text) continue;
        const std::wstring text = ItemText(dialog, want.id);
        if (text != *want.text)
            problems << "\n  control " << want.id << " reads \"" << Printable(text) << "\"\n      expected \""
                     << Printable(*want.text) << "\"";
    }
    const std::string text = problems.str();
    if (text.empty()) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the dialog differs:" << text;
}

}  // namespace TestSupport
