// Shared by the tests of the provider and of ad/ against the Samba forest:
// the forest's settings from the environment, reading the directory back
// over LDAP (never through the provider), and small COM helpers.
#pragma once

#include "base/Scoped.h"
#include "tests/support/Directory.h"
#include "tests/support/Environment.h"
#include "tests/support/Text.h"
#include "tests/support/Unix.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <adshlp.h>
#include <adserr.h>

#include <string>

namespace ProviderTest {

using TestSupport::Narrow;
using TestSupport::RunUnix;
using TestSupport::ScopedEnvironment;
using TestSupport::ShellQuote;
using TestSupport::Widen;

// The forest as the fixture describes it; empty strings when not set.
struct Forest {
    std::wstring server;    // WINEADSI_SERVER
    std::wstring user;      // WINEADSI_USER
    std::wstring password;  // WINEADSI_PASSWORD
    std::string runDir;     // FOREST_RUN_DIR: the running copy (Unix path)
    std::string script;     // FOREST_SCRIPT: tools/forest.sh (Unix path)
};
const Forest& TheForest();

// Skips the calling test when the provider has no forest to talk to.
#define REQUIRE_FOREST()                                                              \
    do {                                                                              \
        if (::ProviderTest::TheForest().server.empty())                               \
            GTEST_SKIP() << "WINEADSI_SERVER is not set: no forest to test against"; \
    } while (0)

// The fixture of suites whose every case needs the forest.
class ForestTest : public ::testing::Test {
protected:
    void SetUp() override { REQUIRE_FOREST(); }
};

#define REQUIRE_FOREST_SCRIPT()                                                         \
    do {                                                                                \
        REQUIRE_FOREST();                                                               \
        if (::ProviderTest::TheForest().script.empty() ||                               \
            ::ProviderTest::TheForest().runDir.empty())                                 \
            GTEST_SKIP() << "FOREST_SCRIPT / FOREST_RUN_DIR are not set";               \
    } while (0)

const wchar_t BaseDn[] = L"DC=samdom,DC=test";
const wchar_t SchemaDn[] = L"CN=Schema,CN=Configuration,DC=samdom,DC=test";
const wchar_t UsersDn[] = L"CN=Users,DC=samdom,DC=test";

// The entries that ldapsearch, as the forest's administrator, finds; none
// when the base object does not exist. Any other failure fails the test.
std::vector<TestSupport::Entry> LdapEntries(const std::wstring& base, const char* scope, const std::string& filter,
                                            const std::string& attributes);

// A name no other run of the tests has used, for objects the tests create.
std::wstring UniqueName(const wchar_t* prefix);

// The calling thread's extended error.
struct LastError {
    DWORD code = 0xFFFFFFFF;
    std::wstring text;
    std::wstring provider;
};
LastError ReadLastError();
// The same, expected to be the provider's record ("LDAP Provider") of a
// failure with that Win32 code.
LastError ProviderError(DWORD code);

// A new, uncommitted object of that class under parentDn, bound serverless.
Scoped::ComPtr<IADs> CreateUnder(const std::wstring& parentDn, const wchar_t* objectClass, const std::wstring& rdn);

// A container cn under CN=Users with that description, written by SetInfo:
// the first failure on the way, else SetInfo's HRESULT.
HRESULT AddContainer(const std::wstring& cn, const wchar_t* description);

// IADs::Get of a single string: the property's value, empty (and the test
// failed) when there is no such string.
std::wstring GetString(IADs* object, const wchar_t* property);

// IADs::Put of a string or of an integer.
HRESULT PutString(IADs* object, const wchar_t* name, const wchar_t* value);
HRESULT PutInteger(IADs* object, const wchar_t* name, LONG value);

// Binds path for riid through ADsGetObject.
template <typename T>
HRESULT Bind(const std::wstring& path, REFIID riid, Scoped::ComPtr<T>& object) {
    object.Reset();
    return ::ADsGetObject(path.c_str(), riid, reinterpret_cast<void**>(object.ReleaseAndGetAddressOf()));
}

// The provider's operation log (WINEADSI_STATS), in a file of its own while
// alive.
class OperationLog {
public:
    OperationLog();
    ~OperationLog();
    OperationLog(const OperationLog&) = delete;
    OperationLog& operator=(const OperationLog&) = delete;
    // How many of its lines ("<operation> <server> <dn> @<start>
    // +<duration>") are of that operation.
    long Count(const char* operation) const;

private:
    std::wstring m_path;
};

// ADsPaths of an LDAP DN, its "/" written "\/".
std::wstring ServerPath(const std::wstring& dn);      // LDAP://server/dn
std::wstring ServerlessPath(const std::wstring& dn);  // LDAP://dn

}  // namespace ProviderTest
