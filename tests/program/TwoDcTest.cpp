// The program in a forest of two DCs (tools/forest.sh provision-pair): DC1
// starts with every FSMO role, DC2 is a second writable DC, and the locator
// (the provider's WINEADSI_SERVER) is set per program start. Every outcome is
// read from each DC's own database, never through the DC the program reached.
#include "tests/program/Agent.h"
#include "tests/support/Phases.h"
#include "tests/program/Program.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

namespace ProgramTest {
namespace {

const HRESULT kUnwillingToPerform = static_cast<HRESULT>(0x80072035);

// What the details box shows when DC ("DC1", "DC2") holds the schema role.
std::wstring DetailsNaming(const std::wstring& dc) {
    std::wstring host = dc;
    for (auto& c : host) c = static_cast<wchar_t>(towlower(c));
    return L"DNS name:\r\n  " + host + L".samdom.test\r\n\r\n" + L"Schema owner name:\r\n  CN=" + dc +
           L",CN=Servers,CN=Default-First-Site-Name,CN=Sites,CN=Configuration,DC=samdom,DC=test\r\n\r\n"
           L"Domain name:\r\n  DC=samdom,DC=test";
}

// The value of "name: value" in an ldbsearch record; "" when absent.
std::string Value(const std::string& ldif, const std::string& name) {
    std::istringstream in(ldif);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(name + ": ", 0) == 0) return line.substr(name.size() + 2);
    return "";
}

class TwoDc : public testing::Test {
protected:
    void SetUp() override {
        const AgentReply fresh = AskAgent("pair-fresh", 300000);
        ASSERT_EQ(0, fresh.status) << fresh.output;
        std::istringstream ips(Environment("FOREST_PAIR_IPS"));
        std::string dc1, dc2;
        ips >> dc1 >> dc2;
        m_address[0] = std::wstring(dc1.begin(), dc1.end());
        m_address[1] = std::wstring(dc2.begin(), dc2.end());
        ASSERT_FALSE(m_address[1].empty()) << "FOREST_PAIR_IPS names no two addresses";
    }
    void TearDown() override { AskAgent("pair-up dc2"); }

    static std::string Environment(const char* name) {
        char buffer[256];
        DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
        return n && n < sizeof buffer ? std::string(buffer, n) : std::string();
    }
    const std::wstring& Dc(int n) const { return m_address[n - 1]; }

    // Waits for the program's details, which must name master; prints what
    // they read.
    static void OpenDetails(Program& program, const std::wstring& master) {
        ASSERT_TRUE(program.started());
        ASSERT_TRUE(program.WaitForWindow()) << "no dialog appeared";
        std::printf("details shown:\n%s\n", Narrow(program.Text(1006)).c_str());
        ASSERT_TRUE(ShowsPhase(program, DetailsPhase(DetailsNaming(master), true)));
    }

    // "&Setup", then the final display with the given text and picture,
    // "&Exit" and exit code 2.
    static void SetupShows(Program& program, const std::wstring& result, int picture, const char* shot) {
        program.Click(1003);
        ASSERT_TRUE(WaitUntil([&] { return program.Text(2) == L"&Exit"; }, 30000)) << "no final display";
        Sleep(300);
        Screenshot(shot);
        std::printf("result shown: %s\n", Narrow(program.Text(1013)).c_str());
        EXPECT_TRUE(ShowsPhase(program, FinishedPhase(result)));
        EXPECT_EQ(picture, program.PictureShown());
        program.Click(2);
        DWORD code = 0;
        ASSERT_TRUE(program.WaitForExit(15000, &code)) << "\"&Exit\" did not end the program";
        EXPECT_EQ(2u, code);
    }

    // A whole run with the locator at DC n: details naming master, success.
    void SucceedsThrough(int n, const std::wstring& master, const char* shot) {
        Program program(Adsi::Provider, Dc(n));
        OpenDetails(program, master);
        if (HasFatalFailure()) return;
        SetupShows(program, kSuccessText, 203, shot);
    }

    static std::string Entry(const char* dc, const char* name, const char* attributes) {
        const AgentReply reply = AskAgent(std::string("pair-entry ") + dc + " " + name + " " + attributes);
        EXPECT_EQ(0, reply.status) << reply.output;
        return reply.output;
    }

    // Both objects reach dc (bounded wait) and carry there the identity they
    // have on the other DC: OID and objectGUID.
    static void ExpectSameObjectsOn(const char* dc, const char* other) {
        for (const auto& object : {std::make_pair("WexlorAdmin", "attributeID"),
                                   std::make_pair("WexlorEnterpriseUser", "governsID")}) {
            const AgentReply wait = AskAgent(std::string("pair-wait ") + dc + " " + object.first);
            ASSERT_EQ(0, wait.status) << wait.output;
            std::printf("%s", wait.output.c_str());
            const std::string attributes = std::string(object.second) + " objectGUID";
            const std::string here = Entry(dc, object.first, attributes.c_str());
            const std::string there = Entry(other, object.first, attributes.c_str());
            std::printf("on %s: %s = %s, objectGUID = %s\n", dc, object.second,
                        Value(here, object.second).c_str(), Value(here, "objectGUID").c_str());
            EXPECT_NE("", Value(here, "objectGUID")) << here;
            EXPECT_EQ(Value(there, object.second), Value(here, object.second));
            EXPECT_EQ(Value(there, "objectGUID"), Value(here, "objectGUID"));
        }
    }

    // 1 when dc's schema holds cn=name, else 0.
    static int Count(const char* dc, const char* name) { return Value(Entry(dc, name, "cn"), "dn").empty() ? 0 : 1; }

private:
    std::wstring m_address[2];
};

TEST_F(TwoDc, LocatorAtDc1ExtendsTheSchemaAndDc2CanUseIt) {
    SucceedsThrough(1, L"DC1", "pair-dc1-success");
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
    Program program(Adsi::Provider, Dc(2));
    // Discovery reads fSMORoleOwner, not the name of the DC it reached.
    OpenDetails(program, L"DC1");
    if (HasFatalFailure()) return;
    // The job's paths are serverless too: DC2 gets the add and is no master.
    SetupShows(program, L"Unable to commit new attribute to schema:\r\n" + SystemDescription(kUnwillingToPerform),
               204, "pair-dc2-not-master");
    for (const char* dc : {"dc1", "dc2"}) {
        EXPECT_EQ(0, Count(dc, "WexlorAdmin")) << dc;
        EXPECT_EQ(0, Count(dc, "WexlorEnterpriseUser")) << dc;
    }
}

TEST_F(TwoDc, RoleMovedToDc2ARunThroughDc2SucceedsAndReachesDc1) {
    const AgentReply transfer = AskAgent("pair-transfer dc2");
    ASSERT_EQ(0, transfer.status) << transfer.output;
    SucceedsThrough(2, L"DC2", "pair-dc2-master-success");
    if (HasFatalFailure()) return;
    ExpectSameObjectsOn("dc1", "dc2");
}

TEST_F(TwoDc, Dc2StoppedARunThroughDc1SucceedsAndDc2CatchesUpWhenStarted) {
    const AgentReply stop = AskAgent("pair-stop dc2");
    ASSERT_EQ(0, stop.status) << stop.output;
    SucceedsThrough(1, L"DC1", "pair-dc2-stopped-success");
    if (HasFatalFailure()) return;
    EXPECT_EQ(0, Count("dc2", "WexlorAdmin")) << "DC2 changed while it was stopped";

    const AgentReply up = AskAgent("pair-up dc2");
    ASSERT_EQ(0, up.status) << up.output;
    ExpectSameObjectsOn("dc2", "dc1");
}

}  // namespace
}  // namespace ProgramTest
