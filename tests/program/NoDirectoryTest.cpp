// Without a reachable directory the program opens straight in its failure
// display; each way of closing it still ends the process with exit code 2.
#include "tests/program/Agent.h"
#include "tests/program/Phases.h"
#include "tests/program/Program.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace ProgramTest {
namespace {

// Wine's own ADSI, outside any domain, cannot locate a DC for a serverless
// RootDSE: DNS_ERROR_RCODE_NAME_ERROR where a DNS server answers,
// DNS_ERROR_RCODE_SERVER_FAILURE where none can be reached (the private
// network namespace that the test command runs in).
const HRESULT kNoDcName = static_cast<HRESULT>(0x8007232B);
const HRESULT kNoDnsServer = static_cast<HRESULT>(0x8007232A);
// A DC that does not listen: ADSI's "server is not operational".
const HRESULT kServerDown = static_cast<HRESULT>(0x8007203A);

std::wstring NoMasterText(HRESULT hr) { return kNoMasterPrefix + SystemDescription(hr); }

bool BesideDriver(const std::wstring& path) {
    const std::wstring dir = DriverDirectory() + L"\\";
    return CompareStringOrdinal(path.c_str(), static_cast<int>(std::min(path.size(), dir.size())),
                                dir.c_str(), static_cast<int>(dir.size()), TRUE) == CSTR_EQUAL;
}

TEST(NoDirectory, WineBuiltinAdsiOpensInFailureDisplayAndExitButtonEndsIt) {
    Program program(Adsi::Builtin);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(program.WaitForWindow()) << "no dialog appeared";
    Screenshot("no-directory-builtin-adsi");
    const std::wstring adsi = program.LoadedModule(L"activeds.dll");
    EXPECT_FALSE(adsi.empty());
    EXPECT_FALSE(BesideDriver(adsi)) << "the provider was loaded instead of Wine's own ADSI";

    const bool noDnsServer = program.Text(1013) == NoMasterText(kNoDnsServer);
    EXPECT_TRUE(ShowsPhase(program, FinishedPhase(NoMasterText(noDnsServer ? kNoDnsServer : kNoDcName))));
    EXPECT_EQ(204, program.PictureShown());

    program.Click(2);
    DWORD code = 0;
    ASSERT_TRUE(program.WaitForExit(15000, &code)) << "\"&Exit\" did not end the program";
    EXPECT_EQ(2u, code);
}

TEST(NoDirectory, ProviderAtStoppedDcOpensInFailureDisplayAndEscapeEndsIt) {
    const AgentReply stop = AskAgent("forest-stop");
    ASSERT_EQ(0, stop.status) << stop.output;

    Program program(Adsi::Provider);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(program.WaitForWindow()) << "no dialog appeared";
    Screenshot("no-directory-stopped-dc");
    EXPECT_TRUE(BesideDriver(program.LoadedModule(L"activeds.dll"))) << "the provider is not loaded";

    EXPECT_TRUE(ShowsPhase(program, FinishedPhase(NoMasterText(kServerDown))));
    EXPECT_EQ(204, program.PictureShown());

    program.PressKey(VK_ESCAPE);
    DWORD code = 0;
    ASSERT_TRUE(program.WaitForExit(15000, &code)) << "Escape did not end the program";
    EXPECT_EQ(2u, code);
}

}  // namespace
}  // namespace ProgramTest
