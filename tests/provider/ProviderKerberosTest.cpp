// WINEADSI_AUTH=kerberos: the SASL GSSAPI bind, with the configured identity
// or with the ticket cache. Run with the forest's KRB5_CONFIG and KRB5CCNAME
// (forest.sh kerberos), which the Kerberos library reads at start-up.
#include "tests/support/ProviderTest.h"

using namespace ProviderTest;

namespace {

const wchar_t UsersPath[] = L"LDAP://CN=Users,DC=samdom,DC=test";

// The tickets in the forest's cache, as klist lists them ("" when none).
std::string CachedTickets() {
    std::string output;
    RunUnix("klist -c " + TheForest().runDir + "/krb5cc", &output);
    return output;
}

}  // namespace

TEST(ProviderKerberos, ConfiguredIdentityBindsAndReads) {
    REQUIRE_FOREST_SCRIPT();
    ASSERT_EQ(0, RunUnix("rm -f " + TheForest().runDir + "/krb5cc"));
    ScopedEnvironment auth(L"WINEADSI_AUTH", L"kerberos");
    Scoped::ComPtr<IADs> users;
    ASSERT_EQ(S_OK, Bind(UsersPath, IID_IADs, users));
    EXPECT_EQ(L"Users", GetString(users.Get(), L"cn"));
    // A service ticket for ldap/<server> was obtained: the bind went
    // through the KDC, not a simple bind with the password.
    EXPECT_NE(std::string::npos, CachedTickets().find("ldap/" + Narrow(TheForest().server) + "@SAMDOM.TEST"))
        << CachedTickets();
}

// Wine's Kerberos package refuses the credentials with STATUS_UNSUCCESSFUL,
// not SEC_E_LOGON_DENIED: a local error, as for every failed SSPI call.
TEST(ProviderKerberos, WrongPasswordFailsInTheSecurityPackage) {
    REQUIRE_FOREST();
    ScopedEnvironment auth(L"WINEADSI_AUTH", L"kerberos"), password(L"WINEADSI_PASSWORD", L"not-the-password");
    ::ADsSetLastError(0, L"", L"");
    Scoped::ComPtr<IADs> users;
    EXPECT_EQ(HRESULT(0x8007203B), Bind(UsersPath, IID_IADs, users));
    const LastError error = ProviderError(ERROR_DS_LOCAL_ERROR);
    EXPECT_EQ(0u, error.text.find(L"AcquireCredentialsHandle failed (0x")) << Narrow(error.text);
}

TEST(ProviderKerberos, WithoutIdentityTheTicketCacheIsUsed) {
    REQUIRE_FOREST_SCRIPT();
    const std::string cache = TheForest().runDir + "/krb5cc";
    ScopedEnvironment user(L"WINEADSI_USER", L""), password(L"WINEADSI_PASSWORD", L"");
    Scoped::ComPtr<IADs> users;
    // Without an identity a simple bind is anonymous, and the directory
    // shows CN=Users to no anonymous reader: reading it below proves the
    // Kerberos bind.
    EXPECT_TRUE(FAILED(Bind(UsersPath, IID_IADs, users)));

    ScopedEnvironment auth(L"WINEADSI_AUTH", L"kerberos");
    ASSERT_EQ(0, RunUnix("rm -f " + cache));
    ::ADsSetLastError(0, L"", L"");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_DS_LOCAL_ERROR), Bind(UsersPath, IID_IADs, users));
    const LastError error = ProviderError(ERROR_DS_LOCAL_ERROR);
    // No ticket and no identity: the package has no credentials to use.
    EXPECT_EQ(L"AcquireCredentialsHandle failed (0x8009030E)", error.text);

    ASSERT_EQ(0, TestSupport::Forest("kinit"));
    ASSERT_EQ(S_OK, Bind(UsersPath, IID_IADs, users));
    EXPECT_EQ(L"Users", GetString(users.Get(), L"cn"));
}

TEST(ProviderKerberos, UnknownMethodIsRefused) {
    REQUIRE_FOREST();
    ScopedEnvironment auth(L"WINEADSI_AUTH", L"kerberos5");
    ::ADsSetLastError(0, L"", L"");
    Scoped::ComPtr<IADs> users;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_DS_AUTH_METHOD_NOT_SUPPORTED), Bind(UsersPath, IID_IADs, users));
    EXPECT_EQ(L"LDAP Provider", ReadLastError().provider);
}
