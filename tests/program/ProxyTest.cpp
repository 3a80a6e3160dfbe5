// The program against what Windows AD answers and Samba does not, put in
// by the LDAP proxy: a schema cache that does not know the new attribute yet
// (the class retry), a DC without the schema role (a referral), AD's texts
// for refused schema writes, and a schema role owner that was deleted.
#include "tests/program/ForestTest.h"
#include "tests/program/Proxy.h"

#include "tests/support/AdAnswers.h"
#include "tests/support/Environment.h"

#include <cstdio>
#include <memory>
#include <ostream>

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
const wchar_t kCommitClass[] = L"Unable to commit new class to schema";

// One run of the program for a way in which Windows AD answers otherwise
// than Samba, or for a forest that already holds an object of our name: the
// final display's text and picture, what the schema holds afterwards, the
// class adds made, and what the proxy did.
struct AdCase {
    const char* name;
    std::string options;       // the proxy's; FOREST_IP stands for the forest's own DC
    const char* plant;         // an agent request before the program starts, or null
    bool withoutSchemaRights;  // the program runs as a user who is not in Schema Admins
    std::wstring shown;
    int picture;
    int attributes;    // entries named WexlorAdmin afterwards
    int classes;       // entries named WexlorEnterpriseUser afterwards
    size_t classAdds;  // kWholeBudget: one every 5 s until the 5-minute budget is spent
    const char* logged;  // what the proxy's log says it did
    const char* adText;  // the answer of tools/proxy/ad-answers.tsv that the proxy sent, or null
};

const size_t kWholeBudget = static_cast<size_t>(-1);

void PrintTo(const AdCase& row, std::ostream* out) { *out << row.name; }

class AdAnswers : public ThroughProxy, public testing::WithParamInterface<AdCase> {};

TEST_P(AdAnswers, WhatTheProgramShows) {
    const AdCase& row = GetParam();
    if (row.plant) {
        ASSERT_TRUE(AgentDoes(row.plant));
    }
    std::unique_ptr<ScopedEnvironment> user, password;
    if (row.withoutSchemaRights) {
        ASSERT_TRUE(AgentDoes("forest-adduser plain Passw0rd-Plain1"));
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
        ASSERT_NE(0u, SetupUntilFinished(program, row.classAdds == kWholeBudget ? 330000 : 60000, &steps))
            << "no final display";
    }
    std::printf("%s: \"%s\"\n", row.name, Narrow(program.Text(IDC_RESULT_TEXT)).c_str());
    ExpectFinal(program, row.shown, row.picture, std::string("ad-") + row.name);
    EXPECT_TRUE(program.EndsWithCode2());
    EXPECT_EQ(row.attributes, SchemaCount("WexlorAdmin"));
    EXPECT_EQ(row.classes, SchemaCount("WexlorEnterpriseUser"));
    const std::vector<double> adds = ClassAddTimes(proxy);
    if (row.classAdds != kWholeBudget) {
        EXPECT_EQ(row.classAdds, adds.size());
    } else {
        ASSERT_GE(adds.size(), 2u);
        std::printf("%zu class adds over %.1f s\n", adds.size(), adds.back() - adds.front());
        EXPECT_NEAR(300.0, adds.back() - adds.front(), 6.0);
        EXPECT_NEAR(61.0, static_cast<double>(adds.size()), 2.0);
    }
    EXPECT_NE(std::string::npos, proxy.Log().find(row.logged)) << proxy.Log();
    // Without --ad-texts the DC's own words reach the program: the display
    // is the same, so only the log tells which texts the program was given.
    if (row.adText) {
        const std::string sent = "AD's text \"" + ReadAdAnswer(row.adText).escaped + "\"";
        EXPECT_NE(std::string::npos, proxy.Log().find(sent)) << sent << "\n" << proxy.Log();
    }
}

INSTANTIATE_TEST_SUITE_P(
    ThroughProxy, AdAnswers,
    testing::Values(
        // The referral names the forest's own DC, which holds the role: a
        // provider that chased it would succeed there.
        AdCase{"NotTheSchemaMaster", "--referral FOREST_IP", nullptr, false,
               FailureText(kCommitAttribute, HRESULT(0x8007202B)), IDB_FAILURE, 0, 0, 0, "-> referral to", nullptr},
        AdCase{"NotInSchemaAdmins", "--ad-texts", nullptr, true, FailureText(kCommitAttribute, HRESULT(0x80070005)),
               IDB_FAILURE, 0, 0, 0, "answered 50 by the DC", "insufficient-rights"},
        AdCase{"OidTaken", "--ad-texts", "plant-oid-collision", false,
               FailureText(kCommitAttribute, HRESULT(0x80072035)), IDB_FAILURE, 0, 0, 0, "answered 53 by the DC",
               "oid-taken"},
        AdCase{"BothObjectsExist", "--ad-texts", "plant-schema-additions", false, kSuccessText, IDB_SUCCESS, 1, 1,
               1, "answered 68 by the DC", "entry-exists"},
        AdCase{"SchemaRoleOwnerDeleted", "--deleted-owner", nullptr, false,
               kNoMasterPrefix + SystemDescription(HRESULT(0x80072030)), IDB_FAILURE, 0, 0, 0,
               "answered 32 (deleted role owner)", nullptr},
        // Refused 0, 5 and 10 s after the attribute, accepted at 15 s.
        AdCase{"CacheReloadsAfter12s", "--lag-seconds 12", nullptr, false, kSuccessText, IDB_SUCCESS, 1, 1, 4,
               "answered 16 (schema cache lag)", nullptr},
        // An earlier CN=WexlorAdmin that is not ours counts as created; no
        // attribute answers to the name WexlorAdmin that the class names.
        // Samba refuses the class as a value of invalid syntax; AD answers
        // that no such attribute exists, as while its cache lags, so the
        // class is tried for the whole 5 minutes.
        AdCase{"ForeignAttributeSambaAnswers", "", "plant-foreign-attribute", false,
               FailureText(kCommitClass, HRESULT(0x8007200B)), IDB_FAILURE, 1, 0, 1, "-> forwarded", nullptr},
        AdCase{"ForeignAttributeAdAnswers", "--ad-texts", "plant-foreign-attribute", false,
               FailureText(kCommitClass, HRESULT(0x8007200A)), IDB_FAILURE, 1, 0, kWholeBudget,
               "answered 21 by the DC", "schema-cache-lag"},
        // A defunct CN=WexlorAdmin under our name: Samba takes a class that
        // names it, so there the run succeeds.
        AdCase{"DefunctAttributeSambaAnswers", "", "plant-defunct-attribute", false, kSuccessText, IDB_SUCCESS, 1, 1,
               1, "-> forwarded", nullptr}),
    [](const testing::TestParamInfo<AdCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ProgramTest
