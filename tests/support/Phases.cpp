#include "tests/support/Phases.h"

#include <sstream>

namespace ProgramTest {

const wchar_t kForestDetails[] =
    L"DNS name:\r\n  dc1.samdom.test\r\n\r\n"
    L"Schema owner name:\r\n  "
    L"CN=DC1,CN=Servers,CN=Default-First-Site-Name,CN=Sites,CN=Configuration,DC=samdom,DC=test"
    L"\r\n\r\n"
    L"Domain name:\r\n  DC=samdom,DC=test";

using TestSupport::kGroupCaption;
using TestSupport::kTitleText;
using TestSupport::kWaitLabel;
using TestSupport::Printable;

Phase DetailsPhase(const std::wstring& details, bool setupEnabled) {
    return {
        {1003, true, setupEnabled, L"&Setup"},
        {2, true, true, L"Cancel"},
        {1000, true, true, kInstructionText},
        {1004, false, true, kWaitLabel},
        {1005, false, true, std::nullopt},
        {1007, true, true, kGroupCaption},
        {1006, true, true, details},
        {1010, true, true, kTitleText},
        {1011, false, true, std::nullopt},
        {1013, false, true, L""},
    };
}

Phase RunningPhase() {
    return {
        {1003, true, false, L"&Setup"},
        {2, true, true, L"Cancel"},
        {1000, true, true, kRunningText},
        {1004, true, true, kWaitLabel},
        {1005, true, true, std::nullopt},
        {1007, false, true, kGroupCaption},
        {1006, false, true, kForestDetails},
        {1010, true, true, kTitleText},
        {1011, false, true, std::nullopt},
        {1013, false, true, L""},
    };
}

Phase FinishedPhase(const std::wstring& result) {
    return {
        {1003, true, false, L"&Setup"},
        {2, true, true, L"&Exit"},
        {1000, true, true, kFinishedText},
        {1004, false, true, kWaitLabel},
        {1005, false, true, std::nullopt},
        {1007, false, true, kGroupCaption},
        {1006, false, true, std::nullopt},
        {1010, true, true, kTitleText},
        {1011, true, true, std::nullopt},
        {1013, true, true, result},
    };
}

testing::AssertionResult ShowsPhase(const Program& program, const Phase& phase) {
    std::ostringstream problems;
    const auto shown = program.Controls();
    for (const auto& want : phase) {
        const ControlState* got = nullptr;
        for (const auto& s : shown)
            if (s.id == want.id) got = &s;
        if (!got) {
            problems << "\n  control " << want.id << " is missing";
            continue;
        }
        if (got->visible != want.visible)
            problems << "\n  control " << want.id << (want.visible ? " hidden" : " visible");
        if (got->enabled != want.enabled)
            problems << "\n  control " << want.id << (want.enabled ? " disabled" : " enabled");
        if (want.text && got->text != *want.text)
            problems << "\n  control " << want.id << " reads \"" << Printable(got->text)
                     << "\"\n      expected \"" << Printable(*want.text) << "\"";
    }
    const std::string text = problems.str();
    if (text.empty()) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the dialog differs:" << text;
}

}  // namespace ProgramTest
