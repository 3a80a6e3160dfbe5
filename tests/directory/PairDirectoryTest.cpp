// Discovery and the extension procedure of ad/ in a forest of two DCs
// (tools/forest.sh provision-pair), the provider's locator set to one DC or
// the other. What each DC holds is read from its own sam.ldb.
#include "tests/support/ProviderTest.h"

#include "ad/Errors.h"
#include "ad/ExtendSchema.h"
#include "ad/FindSchemaMaster.h"
#include "base/Scoped.h"

#include <cstdlib>
#include <sstream>

using namespace TestSupport;

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// "tools/forest.sh COMMAND ARGS", its output added to the failure text.
int PairForest(const std::string& command) {
    std::string output;
    int status = RunForestScript(command, &output);
    EXPECT_EQ(0, status) << "forest.sh " << command << ": " << output;
    return status;
}

std::string PairRunDir() { return ShellQuote(Environment("FOREST_PAIR_RUN")); }

// The address of DC n (1 or 2).
std::wstring Address(int n) {
    std::istringstream ips(Environment("FOREST_PAIR_IPS"));
    std::string ip;
    for (int i = 0; i < n; ++i) ips >> ip;
    return Widen(ip);
}

// The schema object cn as DC dc ("dc1", "dc2") holds it in its own sam.ldb.
SchemaObject ReadOn(const std::string& dc, const std::string& cn) {
    return ReadSchemaObject(cn, Environment("FOREST_PAIR_RUN") + "/" + dc);
}

// Waits up to 30 s until dc holds cn.
SchemaObject WaitOn(const std::string& dc, const std::string& cn) {
    for (int waited = 0;; waited += 250) {
        SchemaObject object = ReadOn(dc, cn);
        if (object.found || waited >= 30000) return object;
        ::Sleep(250);
    }
}

// The distinguishedName of the server object that discovery returns.
std::string MasterFoundThrough(int dc) {
    ScopedEnvironment locator(L"WINEADSI_SERVER", Address(dc));
    Scoped::ComPtr<IADs> server;
    try {
        AD::FindSchemaMaster(server.GetAddressOf());
    } catch (const AD::HResultException& e) {
        ADD_FAILURE() << "FindSchemaMaster through DC" << dc << " threw 0x" << std::hex << e.hresult();
        return "";
    }
    return Narrow(ProviderTest::GetString(server.Get(), L"distinguishedName"));
}

const char Dc1Server[] = "CN=DC1,CN=Servers,CN=Default-First-Site-Name,CN=Sites,CN=Configuration,DC=samdom,DC=test";
const char Dc2Server[] = "CN=DC2,CN=Servers,CN=Default-First-Site-Name,CN=Sites,CN=Configuration,DC=samdom,DC=test";

class PairDirectory : public testing::Test {
protected:
    // One fresh copy for the suite: the refusal changes nothing, and the
    // test that follows moves the role on from there.
    static void SetUpTestSuite() {
        PairForest("fresh-pair " + ShellQuote(Environment("FOREST_PAIR_TEMPLATE")) + " " + PairRunDir() + " " +
                   Environment("FOREST_PAIR_IPS"));
    }
    void SetUp() override {
        if (Environment("FOREST_PAIR_RUN").empty()) GTEST_SKIP() << "FOREST_PAIR_RUN is not set";
    }
};

TEST_F(PairDirectory, ThroughDc2DiscoveryNamesDc1AndTheAttributeIsRefusedWithNothingCreated) {
    EXPECT_EQ(Dc1Server, MasterFoundThrough(2));

    ScopedEnvironment locator(L"WINEADSI_SERVER", Address(2));
    Scoped::Handle cancel(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    bool threw = false;
    try {
        AD::ExtendSchema(L"DC=samdom,DC=test", cancel.get());
    } catch (const AD::HResultException& e) {
        threw = true;
        EXPECT_EQ(HRESULT(0x80072035), e.hresult());
        EXPECT_STREQ("Unable to commit new attribute to schema", e.what());
    }
    EXPECT_TRUE(threw) << "DC2 holds no schema role, yet the extension succeeded through it";
    for (const char* dc : {"dc1", "dc2"}) {
        EXPECT_FALSE(ReadOn(dc, "WexlorAdmin").found) << dc;
        EXPECT_FALSE(ReadOn(dc, "WexlorEnterpriseUser").found) << dc;
    }
}

TEST_F(PairDirectory, RoleOnDc2DiscoveryThroughDc1NamesDc2AndTheExtensionThroughDc2ReachesDc1) {
    ASSERT_EQ(0, PairForest("transfer-schema " + PairRunDir() + " dc2"));
    EXPECT_EQ(Dc2Server, MasterFoundThrough(1));

    {
        ScopedEnvironment locator(L"WINEADSI_SERVER", Address(2));
        Scoped::Handle cancel(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        try {
            AD::ExtendSchema(L"DC=samdom,DC=test", cancel.get());
        } catch (const AD::HResultException& e) {
            FAIL() << e.what() << " 0x" << std::hex << e.hresult();
        }
    }
    for (const char* cn : {"WexlorAdmin", "WexlorEnterpriseUser"}) {
        SchemaObject onDc2 = ReadOn("dc2", cn);
        SchemaObject onDc1 = WaitOn("dc1", cn);
        ASSERT_TRUE(onDc2.found) << cn;
        ASSERT_TRUE(onDc1.found) << cn << " did not reach DC1";
        EXPECT_EQ(One(onDc2.entry, "objectGUID"), One(onDc1.entry, "objectGUID")) << cn;
    }
}

}  // namespace
