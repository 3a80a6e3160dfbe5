// The program against what Windows AD answers and Samba does not, put in
// by the LDAP proxy: a schema cache that does not know the new attribute yet
// (the class retry), a DC without the schema role (a referral), AD's texts
// for refused schema writes, and a schema role owner that was deleted.
#include "tests/program/ForestTest.h"
#include "tests/program/Proxy.h"

#include "tests/support/Environment.h"

#include <cstdio>
#include <memory>

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
        program.Click(IDC_SETUP);
        const DWORD start = GetTickCount();
        int last = -1;
        *steps = 0;
        const bool finished = WaitUntil(
            [&] {
                const int now = program.ProgressPosition();
                if (now != last && last != -1) ++*steps;
                last = now;
                return program.Text(IDCANCEL) == L"&Exit";
            },
            timeoutMs, 100);
        return finished ? GetTickCount() - start : 0;
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
    EXPECT_TRUE(program.Shows(FinishedPhase(kSuccessText)));
    // One step per one-second tick across two 5-second pauses.
    EXPECT_GE(steps, 8);
    EXPECT_TRUE(program.EndsWithCode2());

    const std::vector<double> adds = ClassAddTimes(proxy);
    ASSERT_EQ(3u, adds.size());
    for (size_t i = 1; i < adds.size(); ++i) {
        std::printf("class add %zu came %.2f s after the one before\n", i + 1, adds[i] - adds[i - 1]);
        EXPECT_NEAR(5.0, adds[i] - adds[i - 1], 1.0);
    }
    EXPECT_EQ(1, SchemaCount("WexlorAdmin"));
    EXPECT_EQ(1, SchemaCount("WexlorEnterpriseUser"));
}

TEST_F(ThroughProxy, ExitDuringARetryPauseEndsWithoutTheClass) {
    ProxyRun proxy("--lag-attempts 1000");
    ASSERT_TRUE(proxy.started()) << proxy.failure();
    Program program(Adsi::Provider);
    ExpectDetails(program);
    if (HasFatalFailure()) return;

    program.Click(IDC_SETUP);
    ASSERT_TRUE(WaitUntil([&] { return !ClassAddTimes(proxy).empty(); }, 20000)) << "no class add";
    Sleep(1000);  // inside the 5-second pause
    const DWORD start = GetTickCount();
    EXPECT_TRUE(program.EndsWithCode2());
    std::printf("Cancel during the retry pause: ended after %lu ms\n",
                static_cast<unsigned long>(GetTickCount() - start));
    EXPECT_EQ(1u, ClassAddTimes(proxy).size()) << "a class attempt after Cancel";
    EXPECT_EQ(1, SchemaCount("WexlorAdmin"));
    EXPECT_EQ(0, SchemaCount("WexlorEnterpriseUser"));
}

std::wstring FailureText(const wchar_t* step, HRESULT hr) {
    return std::wstring(step) + L":\r\n" + SystemDescription(hr);
}

const wchar_t kCommitAttribute[] = L"Unable to commit new attribute to schema";

// One run of the program for a way in which Windows AD answers otherwise
// than Samba: the final display's text and picture, the program's objects
// in the schema afterwards (both or neither of its own), the class adds
// made, and that the proxy did answer in AD's place.
struct AdAnswer {
    const char* name;
    std::string options;       // the proxy's; FOREST_IP stands for the forest's own DC
    const char* plant;         // an agent request before the program starts, or null
    bool withoutSchemaRights;  // the program runs as a user who is not in Schema Admins
    std::wstring shown;
    int picture;
    int objects;  // of each of WexlorAdmin and WexlorEnterpriseUser
    size_t classAdds;
    const char* logged;  // what the proxy's log says it did
};

class AdAnswers : public ThroughProxy, public testing::WithParamInterface<AdAnswer> {};

TEST_P(AdAnswers, WhatTheProgramShows) {
    const AdAnswer& row = GetParam();
    if (row.plant) {
        ASSERT_EQ(0, AskAgent(row.plant).status) << row.plant;
    }
    std::unique_ptr<ScopedEnvironment> user, password;
    if (row.withoutSchemaRights) {
        ASSERT_EQ(0, AskAgent("forest-adduser plain Passw0rd-Plain1").status);
        user.reset(new ScopedEnvironment(L"WINEADSI_USER", L"plain@samdom.test"));
        password.reset(new ScopedEnvironment(L"WINEADSI_PASSWORD", L"Passw0rd-Plain1"));
    }
    std::string options = row.options;
    const size_t forest = options.find("FOREST_IP");
    if (forest != std::string::npos) options.replace(forest, 9, Narrow(EnvironmentValue(L"FOREST_IP")));
    ProxyRun proxy(options);
    ASSERT_TRUE(proxy.started()) << proxy.failure();
    Program program(Adsi::Provider);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(program.WaitForWindow()) << "no dialog appeared";
    // A failed discovery opens straight in the final display.
    if (program.Text(IDCANCEL) != L"&Exit") {
        ASSERT_TRUE(program.Shows(DetailsPhase(ForestDetails())));
        int steps = 0;
        ASSERT_NE(0u, SetupUntilFinished(program, 60000, &steps)) << "no final display";
    }
    Sleep(300);
    Screenshot(std::string("ad-") + row.name);
    std::printf("%s: \"%s\"\n", row.name, Narrow(program.Text(IDC_RESULT_TEXT)).c_str());
    EXPECT_TRUE(program.Shows(FinishedPhase(row.shown)));
    EXPECT_EQ(row.picture, program.PictureShown());
    EXPECT_TRUE(program.EndsWithCode2());
    EXPECT_EQ(row.objects, SchemaCount("WexlorAdmin"));
    EXPECT_EQ(row.objects, SchemaCount("WexlorEnterpriseUser"));
    EXPECT_EQ(row.classAdds, ClassAddTimes(proxy).size());
    EXPECT_NE(std::string::npos, proxy.Log().find(row.logged)) << proxy.Log();
}

INSTANTIATE_TEST_SUITE_P(
    ThroughProxy, AdAnswers,
    testing::Values(
        // The referral names the forest's own DC, which holds the role: a
        // provider that chased it would succeed there.
        AdAnswer{"NotTheSchemaMaster", "--referral FOREST_IP", nullptr, false,
                 FailureText(kCommitAttribute, HRESULT(0x8007202B)), IDB_FAILURE, 0, 0, "-> referral to"},
        AdAnswer{"NotInSchemaAdmins", "--ad-texts", nullptr, true, FailureText(kCommitAttribute, HRESULT(0x80070005)),
                 IDB_FAILURE, 0, 0, "answered 50 by the DC; AD's text"},
        AdAnswer{"OidTaken", "--ad-texts", "plant-oid-collision", false,
                 FailureText(kCommitAttribute, HRESULT(0x80072035)), IDB_FAILURE, 0, 0,
                 "answered 53 by the DC; AD's text"},
        AdAnswer{"BothObjectsExist", "--ad-texts", "plant-schema-additions", false, kSuccessText, IDB_SUCCESS, 1, 1,
                 "answered 68 by the DC; AD's text"},
        AdAnswer{"SchemaRoleOwnerDeleted", "--deleted-owner", nullptr, false,
                 kNoMasterPrefix + SystemDescription(HRESULT(0x80072030)), IDB_FAILURE, 0, 0,
                 "answered 32 (deleted role owner)"},
        // Refused 0, 5 and 10 s after the attribute, accepted at 15 s.
        AdAnswer{"CacheReloadsAfter12s", "--lag-seconds 12", nullptr, false, kSuccessText, IDB_SUCCESS, 1, 4,
                 "answered 16 (schema cache lag)"}),
    [](const testing::TestParamInfo<AdAnswer>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ProgramTest
