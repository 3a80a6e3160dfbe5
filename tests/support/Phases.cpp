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

// The picture's and the bar's window texts say nothing of what they show.
Phase DetailsPhase(const std::wstring& details, bool setupEnabled) {
    return {
        {IDC_SETUP, true, setupEnabled, L"&Setup"},
        {IDCANCEL, true, true, L"Cancel"},
        {IDC_INSTRUCTION, true, true, kInstructionText},
        {IDC_WAIT_LABEL, false, true, kWaitLabel},
        {IDC_PROGRESS, false, true, std::nullopt},
        {IDC_DETAILS_GROUP, true, true, kGroupCaption},
        {IDC_DETAILS, true, true, details},
        {IDC_TITLE, true, true, kTitleText},
        {IDC_STATUS_PICTURE, false, true, std::nullopt},
        {IDC_RESULT_TEXT, false, true, L""},
    };
}

Phase RunningPhase(const std::wstring& details) {
    return {
        {IDC_SETUP, true, false, L"&Setup"},
        {IDCANCEL, true, true, L"Cancel"},
        {IDC_INSTRUCTION, true, true, kRunningText},
        {IDC_WAIT_LABEL, true, true, kWaitLabel},
        {IDC_PROGRESS, true, true, std::nullopt},
        {IDC_DETAILS_GROUP, false, true, kGroupCaption},
        {IDC_DETAILS, false, true, details},
        {IDC_TITLE, true, true, kTitleText},
        {IDC_STATUS_PICTURE, false, true, std::nullopt},
        {IDC_RESULT_TEXT, false, true, L""},
    };
}

Phase FinishedPhase(const std::wstring& result) {
    return {
        {IDC_SETUP, true, false, L"&Setup"},
        {IDCANCEL, true, true, L"&Exit"},
        {IDC_INSTRUCTION, true, true, kFinishedText},
        {IDC_WAIT_LABEL, false, true, kWaitLabel},
        {IDC_PROGRESS, false, true, std::nullopt},
        {IDC_DETAILS_GROUP, false, true, kGroupCaption},
        {IDC_DETAILS, false, true, std::nullopt},
        {IDC_TITLE, true, true, kTitleText},
        {IDC_STATUS_PICTURE, true, true, std::nullopt},
        {IDC_RESULT_TEXT, true, true, result},
    };
}

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
