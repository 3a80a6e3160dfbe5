// The program against what Windows AD answers and Samba does not, put in
// by the LDAP proxy: a schema cache that does not know the new attribute yet
// (the class retry), and a DC without the schema role (a referral).
#include "tests/program/ForestTest.h"
#include "tests/program/Proxy.h"

#include <cstdio>
#include <cstdlib>

namespace ProgramTest {
namespace {

class ThroughProxy : public ForestTest {
protected:
    static std::vector<double> ClassAddTimes(const ProxyRun& proxy) {
        std::vector<double> times;
        for (const ProxyRequest& r : proxy.Requests())
            if (r.operation == "add" && r.dn.rfind("CN=WexlorEnterpriseUser,", 0) == 0) times.push_back(r.seconds);
        return times;
    }

    // Presses "&Setup" and returns the milliseconds until the final display
    // (0 when it did not come within timeoutMs); the activity bar must keep
    // stepping meanwhile.
    static DWORD SetupUntilFinished(Program& program, DWORD timeoutMs, int* steps) {
        program.Click(1003);
        const DWORD start = GetTickCount();
        int last = -1;
        *steps = 0;
        const bool finished = WaitUntil(
            [&] {
                const int now = program.ProgressPosition();
                if (now != last && last != -1) ++*steps;
                last = now;
                return program.Text(2) == L"&Exit";
            },
            timeoutMs, 100);
        return finished ? GetTickCount() - start : 0;
    }

    static void ExitProgram(Program& program) {
        program.Click(2);
        DWORD code = 0;
        ASSERT_TRUE(program.WaitForExit(15000, &code));
        EXPECT_EQ(2u, code);
    }
};

TEST_F(ThroughProxy, ClassRefusedTwiceWhileTheCacheLagsIsRetriedEveryFiveSeconds) {
    ProxyRun proxy("--lag-attempts 2");
    ASSERT_TRUE(proxy.started()) << proxy.failure();
    Program program(Adsi::Provider);
    ExpectDetails(program);
    if (HasFatalFailure()) return;

    int steps = 0;
    const DWORD elapsed = SetupUntilFinished(program, 40000, &steps);
    ASSERT_NE(0u, elapsed) << "no final display";
    std::printf("lag of two attempts: Setup to success in %lu ms, %d steps of the activity bar\n",
                static_cast<unsigned long>(elapsed), steps);
    EXPECT_TRUE(ShowsPhase(program, FinishedPhase(kSuccessText)));
    // One step per one-second tick across two 5-second pauses.
    EXPECT_GE(steps, 8);
    ExitProgram(program);

    const std::vector<double> adds = ClassAddTimes(proxy);
    ASSERT_EQ(3u, adds.size());
    for (size_t i = 1; i < adds.size(); ++i) {
        std::printf("class add %zu came %.2f s after the one before\n", i + 1, adds[i] - adds[i - 1]);
        EXPECT_NEAR(5.0, adds[i] - adds[i - 1], 1.0);
    }
    EXPECT_EQ(1, SchemaCount("WexlorAdmin"));
    EXPECT_EQ(1, SchemaCount("WexlorEnterpriseUser"));
}

TEST_F(ThroughProxy, ClassWaitsOutATwelveSecondCacheLag) {
    ProxyRun proxy("--lag-seconds 12");
    ASSERT_TRUE(proxy.started()) << proxy.failure();
    Program program(Adsi::Provider);
    ExpectDetails(program);
    if (HasFatalFailure()) return;

    int steps = 0;
    const DWORD elapsed = SetupUntilFinished(program, 60000, &steps);
    ASSERT_NE(0u, elapsed) << "no final display";
    EXPECT_TRUE(ShowsPhase(program, FinishedPhase(kSuccessText)));
    ExitProgram(program);
    const std::vector<double> adds = ClassAddTimes(proxy);
    std::printf("lag of 12 s: Setup to success in %lu ms, %zu class adds\n", static_cast<unsigned long>(elapsed),
                adds.size());
    // Refused at 0, 5 and 10 s after the attribute, accepted at 15 s.
    EXPECT_EQ(4u, adds.size());
    EXPECT_EQ(1, SchemaCount("WexlorEnterpriseUser"));
}

TEST_F(ThroughProxy, ExitDuringARetryPauseEndsWithoutTheClass) {
    ProxyRun proxy("--lag-attempts 1000");
    ASSERT_TRUE(proxy.started()) << proxy.failure();
    Program program(Adsi::Provider);
    ExpectDetails(program);
    if (HasFatalFailure()) return;

    program.Click(1003);
    ASSERT_TRUE(WaitUntil([&] { return !ClassAddTimes(proxy).empty(); }, 20000)) << "no class add";
    Sleep(1000);  // inside the 5-second pause
    program.Click(2);
    const DWORD start = GetTickCount();
    DWORD code = 0;
    ASSERT_TRUE(program.WaitForExit(15000, &code)) << "still running 15 s after Cancel";
    std::printf("Cancel during the retry pause: ended after %lu ms\n",
                static_cast<unsigned long>(GetTickCount() - start));
    EXPECT_EQ(2u, code);
    EXPECT_EQ(1u, ClassAddTimes(proxy).size()) << "a class attempt after Cancel";
    EXPECT_EQ(1, SchemaCount("WexlorAdmin"));
    EXPECT_EQ(0, SchemaCount("WexlorEnterpriseUser"));
}

TEST_F(ThroughProxy, ReferralFromADcWithoutTheSchemaRoleIsAFailureAndWritesNothing) {
    // The referral names the forest's own DC, which holds the role: a
    // provider that chased it would succeed there.
    ProxyRun proxy("--referral " + std::string(getenv("FOREST_IP") ? getenv("FOREST_IP") : "127.0.0.2"));
    ASSERT_TRUE(proxy.started()) << proxy.failure();
    Program program(Adsi::Provider);
    ExpectDetails(program);
    if (HasFatalFailure()) return;

    int steps = 0;
    ASSERT_NE(0u, SetupUntilFinished(program, 30000, &steps)) << "no final display";
    Screenshot("referral");
    const HRESULT referral = static_cast<HRESULT>(0x8007202B);
    EXPECT_TRUE(ShowsPhase(program, FinishedPhase(L"Unable to commit new attribute to schema:\r\n" +
                                                  SystemDescription(referral))));
    EXPECT_EQ(204, program.PictureShown());
    ExitProgram(program);
    EXPECT_EQ(0, SchemaCount("WexlorAdmin"));
    EXPECT_EQ(0, SchemaCount("WexlorEnterpriseUser"));
}

}  // namespace
}  // namespace ProgramTest
