// The program in a forest of two DCs (tools/forest.sh provision-pair): DC1
// starts with every FSMO role, DC2 is a second writable DC, and the locator
// (the provider's WINEADSI_SERVER) is set per program start. Every outcome is
// read from each DC's own database, never through the DC the program reached.
#include "tests/program/Agent.h"
#include "tests/program/Program.h"
#include "tests/program/Proxy.h"
#include "tests/support/Directory.h"
#include "tests/support/Environment.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <ostream>
#include <sstream>

namespace ProgramTest {
namespace {

const wchar_t kCommitAttribute[] = L"Unable to commit new attribute to schema:\r\n";

// The schema object cn as DC dc ("dc1", "dc2") holds it in its own sam.ldb,
// whether that DC runs or not.
SchemaObject ReadOn(const char* dc, const char* cn) {
    return ReadSchemaObject(cn, Narrow(EnvironmentValue(L"FOREST_PAIR_RUN")) + "/" + dc);
}

class TwoDc : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(AgentDoes("pair-fresh", 300000));
        std::istringstream(Narrow(EnvironmentValue(L"FOREST_PAIR_IPS"))) >> m_address[0] >> m_address[1];
        ASSERT_FALSE(m_address[1].empty()) << "FOREST_PAIR_IPS names no two addresses";
    }
    void TearDown() override {
        AskAgent("pair-up dc1");
        AskAgent("pair-up dc2");
    }

    std::wstring Dc(int n) const { return Widen(m_address[n - 1]); }

    // A run with the locator at server: the details naming master, then
    // "&Setup" and the final display with the given text and picture, and
    // exit code 2.
    static void RunShows(const std::wstring& server, const wchar_t* master, const std::wstring& result, int picture,
                         const std::string& shot) {
        Program program(Adsi::Provider, server);
        ASSERT_TRUE(program.started());
        ASSERT_TRUE(program.WaitForWindow()) << "no dialog appeared";
        std::printf("details shown:\n%s\n", Narrow(program.Text(IDC_DETAILS)).c_str());
        ASSERT_TRUE(program.Shows(DetailsPhase(ForestDetails(master))));
        program.Click(IDC_SETUP);
        ASSERT_TRUE(program.WaitForFinal(30000)) << "no final display";
        std::printf("result shown: %s\n", Narrow(program.Text(IDC_RESULT_TEXT)).c_str());
        ExpectFinal(program, result, picture, shot);
        EXPECT_TRUE(program.EndsWithCode2());
    }

    // Both objects reach dc (bounded wait) and carry there the identity they
    // have on the other DC: OID and objectGUID.
    static void ExpectSameObjectsOn(const char* dc, const char* other) {
        for (const auto& object : {std::make_pair("WexlorAdmin", "attributeID"),
                                   std::make_pair("WexlorEnterpriseUser", "governsID")}) {
            const DWORD start = GetTickCount();
            ASSERT_TRUE(WaitUntil([&] { return ReadOn(dc, object.first).found; }, 30000, 200))
                << object.first << " did not reach " << dc << " within 30 s";
            const Entry here = ReadOn(dc, object.first).entry, there = ReadOn(other, object.first).entry;
            std::printf("%s on %s after %lu ms: %s = %s, objectGUID = %s\n", object.first, dc,
                        static_cast<unsigned long>(GetTickCount() - start), object.second,
                        One(here, object.second).c_str(), One(here, "objectGUID").c_str());
            EXPECT_NE("<absent>", One(here, "objectGUID"));
            EXPECT_EQ(One(there, object.second), One(here, object.second));
            EXPECT_EQ(One(there, "objectGUID"), One(here, "objectGUID"));
        }
    }

    // Neither DC's own database holds either object.
    static void ExpectNeitherObjectOnEitherDc() {
        for (const char* dc : {"dc1", "dc2"})
            for (const char* cn : {"WexlorAdmin", "WexlorEnterpriseUser"}) EXPECT_FALSE(ReadOn(dc, cn).found) << dc;
    }

private:
    std::string m_address[2];
};

TEST_F(TwoDc, LocatorAtDc1ExtendsTheSchemaAndDc2CanUseIt) {
    RunShows(Dc(1), L"DC1", kSuccessText, IDB_SUCCESS, "pair-dc1-success");
    if (HasFatalFailure()) return;
    ExpectSameObjectsOn("dc2", "dc1");

    // The extension is usable forest-wide: DC2 takes a user of the new class.
    const AgentReply user = AskAgent("pair-add-user dc2");
    ASSERT_EQ(0, user.status) << user.output;
    std::printf("%s", user.output.c_str());
    EXPECT_NE(std::string::npos, user.output.find("objectClass: WexlorEnterpriseUser")) << user.output;
    EXPECT_NE(std::string::npos, user.output.find("WexlorAdmin: TRUE")) << user.output;
}

TEST_F(TwoDc, LocatorAtDc2FollowsTheRoleToDc1AndDc2RefusesTheAttribute) {
    // Discovery reads fSMORoleOwner, not the name of the DC it reached; the
    // job's paths are serverless too: DC2 gets the add and is no master.
    RunShows(Dc(2), L"DC1", kCommitAttribute + SystemDescription(HRESULT(0x80072035)), IDB_FAILURE,
             "pair-dc2-not-master");
    ExpectNeitherObjectOnEitherDc();
}

TEST_F(TwoDc, RoleMovedToDc2ARunThroughDc2SucceedsAndReachesDc1) {
    ASSERT_TRUE(AgentDoes("pair-transfer dc2"));
    RunShows(Dc(2), L"DC2", kSuccessText, IDB_SUCCESS, "pair-dc2-master-success");
    if (HasFatalFailure()) return;
    ExpectSameObjectsOn("dc1", "dc2");
}

TEST_F(TwoDc, Dc2StoppedARunThroughDc1SucceedsAndDc2CatchesUpWhenStarted) {
    ASSERT_TRUE(AgentDoes("pair-stop dc2"));
    RunShows(Dc(1), L"DC1", kSuccessText, IDB_SUCCESS, "pair-dc2-stopped-success");
    if (HasFatalFailure()) return;
    EXPECT_FALSE(ReadOn("dc2", "WexlorAdmin").found) << "DC2 changed while it was stopped";

    ASSERT_TRUE(AgentDoes("pair-up dc2"));
    ExpectSameObjectsOn("dc2", "dc1");
}

// The schema master stopped while DC2 answers, as when the master is down or
// out of reach: the details come from DC2's copy and still name DC1, and
// "&Setup" writes through DC2, which refuses; Samba answers 53, Windows AD a
// referral to the role owner (the proxy in front of DC2 gives it). Nothing
// is written anywhere, and once the master is back a run through it
// completes and reaches DC2.
struct MasterDown {
    const char* name;
    const char* proxy;  // the proxy's options in front of DC2; null: DC2 itself
    HRESULT shown;
    const char* logged;
};

void PrintTo(const MasterDown& row, std::ostream* out) { *out << row.name; }

class SchemaMasterDown : public TwoDc, public testing::WithParamInterface<MasterDown> {};

TEST_P(SchemaMasterDown, NothingIsWrittenAndARunThroughTheMasterBackCompletes) {
    const MasterDown& row = GetParam();
    ASSERT_TRUE(AgentDoes("pair-stop dc1"));
    {
        std::unique_ptr<ProxyRun> proxy;
        std::wstring server = Dc(2);
        if (row.proxy) {
            proxy.reset(new ProxyRun(row.proxy));
            ASSERT_TRUE(proxy->started()) << proxy->failure();
            server = EnvironmentValue(L"PROXY_IP");
        }
        RunShows(server, L"DC1", kCommitAttribute + SystemDescription(row.shown), IDB_FAILURE,
                 std::string("pair-master-down-") + row.name);
        if (proxy) {
            EXPECT_NE(std::string::npos, proxy->Log().find(row.logged)) << proxy->Log();
        }
    }
    ExpectNeitherObjectOnEitherDc();
    if (HasFatalFailure()) return;

    ASSERT_TRUE(AgentDoes("pair-up dc1"));
    RunShows(Dc(1), L"DC1", kSuccessText, IDB_SUCCESS, std::string("pair-master-back-") + row.name);
    if (HasFatalFailure()) return;
    ExpectSameObjectsOn("dc2", "dc1");
}

INSTANTIATE_TEST_SUITE_P(
    TwoDc, SchemaMasterDown,
    testing::Values(MasterDown{"SambaAnswers", nullptr, HRESULT(0x80072035), nullptr},
                    MasterDown{"AdAnswersWithAReferral", "--referral dc1.samdom.test", HRESULT(0x8007202B),
                               "-> referral to ldap://dc1.samdom.test/"}),
    [](const testing::TestParamInfo<MasterDown>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ProgramTest
