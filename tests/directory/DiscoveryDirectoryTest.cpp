// Schema master discovery and the text of directory failures against the
// real directory, with what they report compared to what ldbsearch and the
// OpenLDAP tools read from the same forest.
#include "tests/support/ProviderTest.h"

#include "ad/DomainName.h"
#include "ad/Errors.h"
#include "ad/FindSchemaMaster.h"
#include "base/Scoped.h"

#include <process.h>

using namespace TestSupport;

TEST(FindSchemaMasterForest, ReturnsTheRoleOwnersServerObjectThroughServerlessPaths) {
    REQUIRE_FOREST_SCRIPT();
    // The server object of the schema role owner as the directory itself
    // holds it: the parent of the schema container's fSMORoleOwner.
    const SchemaObject schema = ReadEntry(kSchemaDn);
    ASSERT_TRUE(schema.found);
    const std::string owner = One(schema.entry, "fSMORoleOwner");
    const std::string expectedDn = owner.substr(owner.find(',') + 1);
    const SchemaObject master = ReadEntry(expectedDn);
    ASSERT_TRUE(master.found) << expectedDn;
    const std::string expectedHost = One(master.entry, "dNSHostName");
    // The forest's own facts, so that a wrong read-back cannot agree with a
    // wrong result.
    ASSERT_EQ("CN=DC1,CN=Servers,CN=Default-First-Site-Name,CN=Sites,CN=Configuration,DC=samdom,DC=test",
              expectedDn);
    ASSERT_EQ("dc1.samdom.test", expectedHost);

    Scoped::ComPtr<IADs> server;
    try {
        AD::FindSchemaMaster(server.GetAddressOf());
    } catch (const AD::HResultException& e) {
        FAIL() << "FindSchemaMaster threw 0x" << std::hex << e.hresult();
    }
    ASSERT_TRUE(server);
    EXPECT_EQ(expectedHost, Narrow(ProviderTest::GetString(server.Get(), L"dnsHostName")));
    EXPECT_EQ(expectedDn, Narrow(ProviderTest::GetString(server.Get(), L"distinguishedName")));

    Scoped::Bstr path;
    ASSERT_EQ(S_OK, server->get_ADsPath(path.out()));
    // No host name in the path: the locator, not the program, picks the DC.
    EXPECT_EQ("LDAP://" + expectedDn, Narrow(path.get()));
    EXPECT_EQ(L"DC=samdom,DC=test", AD::ExtractDomainName(path.get()));
}

TEST(FindSchemaMasterForest, StoppedDirectoryThrowsWithAnEmptyMessageAndNoObject) {
    REQUIRE_FOREST_SCRIPT();
    ForestUpAgain upAgain;
    ASSERT_EQ(0, Forest("down"));
    IADs* server = reinterpret_cast<IADs*>(static_cast<uintptr_t>(0x1));
    bool threw = false;
    try {
        AD::FindSchemaMaster(&server);
    } catch (const AD::HResultException& e) {
        threw = true;
        EXPECT_EQ(HRESULT(0x8007203A), e.hresult());
        EXPECT_STREQ("", e.what());
    }
    EXPECT_TRUE(threw);
    EXPECT_EQ(nullptr, server);
}

namespace {

unsigned __stdcall DescribeOnFreshThread(void* argument) {
    auto* text = static_cast<std::wstring*>(argument);
    ::CoInitialize(nullptr);
    *text = AD::DescribeHResult(HRESULT(0x80071392));
    ::CoUninitialize();
    return 0;
}

// The server's own diagnostic text for adding dn again, as ldapmodify reports
// it ("additional info: ...").
std::string ServerTextForDuplicate(const std::string& dn) {
    std::string output;
    int status = LdapModify("dn: " + dn + "\nchangetype: add\nobjectClass: container\n", &output);
    EXPECT_EQ(68, status) << output;
    const std::string marker = "additional info: ";
    std::size_t at = output.find(marker);
    if (at == std::string::npos) return std::string();
    std::size_t end = output.find('\n', at);
    return output.substr(at + marker.size(), end == std::string::npos ? std::string::npos : end - at - marker.size());
}

}  // namespace

TEST(DescribeHResultForest, ShowsTheServersTextForAFailureOnTheSameThreadOnly) {
    REQUIRE_FOREST_SCRIPT();
    std::wstring cn = ProviderTest::UniqueName(L"DescribeDuplicate");
    // A duplicate add through the provider, on this thread.
    ASSERT_EQ(S_OK, ProviderTest::AddContainer(cn, L"first"));
    ASSERT_EQ(HRESULT(0x80071392), ProviderTest::AddContainer(cn, L"again"));
    std::wstring text = AD::DescribeHResult(HRESULT(0x80071392));

    std::string serverText = ServerTextForDuplicate("CN=" + Narrow(cn) + ",CN=Users,DC=samdom,DC=test");
    ASSERT_FALSE(serverText.empty());
    EXPECT_EQ(L"ADSI error occured (0x80071392),\r\nDescripton:`" + Widen(serverText) +
                  L"',\r\nFrom:`LDAP Provider'",
              text);

    // Extended errors belong to the thread whose call failed.
    std::wstring elsewhere;
    uintptr_t thread = _beginthreadex(nullptr, 0, DescribeOnFreshThread, &elsewhere, 0, nullptr);
    ASSERT_NE(0u, thread);
    Scoped::Handle threadHandle(reinterpret_cast<HANDLE>(thread));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(threadHandle.get(), 60000));
    EXPECT_EQ(L"An unknown error occured (0x80071392)", elsewhere);
}
