#include "ad/FindSchemaMaster.h"
#include "tests/support/Fakes.h"

#include <adserr.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

namespace {

const HRESULT Down = static_cast<HRESULT>(0x8007203A);
const HRESULT NoSuchObject = static_cast<HRESULT>(0x80072030);
const HRESULT Referral = static_cast<HRESULT>(0x8007202B);

const wchar_t SchemaNC[] = L"CN=Schema,CN=Configuration,DC=samdom,DC=test";
const wchar_t SearchPath[] = L"LDAP://CN=Schema,CN=Configuration,DC=samdom,DC=test";
// The directory answers the container's path with its server in it; that
// path is bound exactly as returned.
const wchar_t ContainerPath[] = L"LDAP://dc1.samdom.test/CN=Schema,CN=Configuration,DC=samdom,DC=test";
const std::wstring ServerDn =
    L"CN=DC1,CN=Servers,CN=Default-First-Site-Name,CN=Sites,CN=Configuration,DC=samdom,DC=test";
const std::wstring RoleOwner = L"CN=NTDS Settings," + ServerDn;
const std::wstring SettingsPath = L"LDAP://" + RoleOwner;
const std::wstring ServerPath = L"LDAP://" + ServerDn;

class FindSchemaMaster : public ::testing::Test {
protected:
    Fakes::Log log;
    Fakes::FakePlatform platform{log};
    Fakes::FakeObject root{log}, container{log}, settings{log}, server{log};
    Fakes::FakeSearch search{log};

    // Also called again by table-driven cases to undo the previous case.
    void SetUp() override {
        root.strings = {{L"schemaNamingContext", SchemaNC}};
        root.integers.clear();
        search.executeResult = S_OK;
        search.columnResult = S_OK;
        search.columnType = ADSTYPE_DN_STRING;
        settings.parentResult = S_OK;
        search.rows = {S_OK};
        search.columnValue = ContainerPath;
        container.strings = {{L"fSMORoleOwner", RoleOwner}};
        settings.parent = ServerPath;
        platform.bindings[L"LDAP://RootDSE"] = {&root, S_OK};
        platform.bindings[SearchPath] = {&search, S_OK};
        platform.bindings[ContainerPath] = {&container, S_OK};
        platform.bindings[SettingsPath] = {&settings, S_OK};
        platform.bindings[ServerPath] = {&server, S_OK};
    }

    void TearDown() override { ExpectNothingHeld(); }

    // Runs discovery expecting a directory failure; returns its HRESULT and
    // checks that nothing is handed back and nothing is left held.
    HRESULT Failure() {
        IADs* result = reinterpret_cast<IADs*>(&log);  // must be overwritten
        const Fakes::Thrown thrown = Fakes::Catch([&] { AD::FindSchemaMaster(&result); });
        EXPECT_EQ("", thrown.message);
        EXPECT_EQ(nullptr, result);
        ExpectNothingHeld();
        return thrown.hr;
    }

    // Runs discovery expecting the server object; true when it came back,
    // which is then released.
    bool Success() {
        IADs* result = nullptr;
        AD::FindSchemaMaster(&result);
        if (!result) return false;
        result->Release();
        return true;
    }

    void ExpectNothingHeld() {
        for (long refs : {root.refs, container.refs, settings.refs, server.refs, search.refs})
            EXPECT_EQ(0, refs);
        EXPECT_EQ(0, search.openColumns);
        EXPECT_EQ(0, search.openHandles);
    }

    bool Bound(const std::wstring& path) const {
        return Fakes::Count(log, L"bind " + path + L" IADs") != 0;
    }
};

TEST_F(FindSchemaMaster, FollowsRootSchemaRoleOwnerAndParentThroughServerlessPaths) {
    IADs* result = nullptr;
    AD::FindSchemaMaster(&result);
    ASSERT_EQ(static_cast<IADs*>(&server), result);
    const Fakes::Log expected = {
        L"bind LDAP://RootDSE IADs",
        L"Get schemaNamingContext",
        L"bind LDAP://CN=Schema,CN=Configuration,DC=samdom,DC=test IDirectorySearch",
        L"ExecuteSearch (&(objectClass=dMD)(fSMORoleOwner=*)) 1 ADsPath",
        L"GetNextRow",
        L"GetColumn ADsPath",
        L"bind LDAP://dc1.samdom.test/CN=Schema,CN=Configuration,DC=samdom,DC=test IADs",
        L"FreeColumn",
        L"CloseSearchHandle",
        L"Get fSMORoleOwner",
        L"bind LDAP://CN=NTDS Settings,CN=DC1,CN=Servers,CN=Default-First-Site-Name,CN=Sites,"
        L"CN=Configuration,DC=samdom,DC=test IADs",
        L"get_Parent",
        L"bind LDAP://CN=DC1,CN=Servers,CN=Default-First-Site-Name,CN=Sites,CN=Configuration,"
        L"DC=samdom,DC=test IADs",
    };
    EXPECT_EQ(expected, log);
    // The caller holds the one reference to the server; nothing else is held.
    EXPECT_EQ(1, server.refs);
    result->Release();
}

TEST_F(FindSchemaMaster, EachFailingCallEndsWithItsHResultAndReleasesEverything) {
    struct Case {
        const char* call;
        std::function<void()> breakIt;
        HRESULT hr;
    } cases[] = {
        {"bind root", [&] { platform.bindings[L"LDAP://RootDSE"].result = Down; }, Down},
        {"naming context", [&] { root.strings.clear(); }, E_ADS_PROPERTY_NOT_FOUND},
        {"bind partition", [&] { platform.bindings[SearchPath].result = E_ACCESSDENIED; },
         E_ACCESSDENIED},
        {"search", [&] { search.executeResult = E_ADS_INVALID_FILTER; }, E_ADS_INVALID_FILTER},
        {"column", [&] { search.columnResult = E_ADS_BAD_PARAMETER; }, E_ADS_BAD_PARAMETER},
        {"bind container", [&] { platform.bindings[ContainerPath].result = NoSuchObject; }, NoSuchObject},
        {"role owner", [&] { container.strings.clear(); }, E_ADS_PROPERTY_NOT_FOUND},
        {"bind settings", [&] { platform.bindings[SettingsPath].result = Referral; }, Referral},
        {"parent", [&] { settings.parentResult = E_ADS_OBJECT_UNBOUND; }, E_ADS_OBJECT_UNBOUND},
        {"bind server", [&] { platform.bindings[ServerPath].result = Down; }, Down},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        log.clear();
        SetUp();
        c.breakIt();
        EXPECT_EQ(c.hr, Failure());
        EXPECT_EQ(0, platform.messageBoxes);
    }
}

TEST_F(FindSchemaMaster, OnlyTheFirstOfSeveralRowsIsFetched) {
    search.rows = {S_OK, S_OK, S_OK};
    ASSERT_TRUE(Success());
    EXPECT_EQ(1u, Fakes::Count(log, L"GetNextRow"));
    EXPECT_EQ(0u, Fakes::Count(log, L"GetFirstRow"));
    EXPECT_EQ(0u, Fakes::Count(log, L"SetSearchPreference"));
}

TEST_F(FindSchemaMaster, NoRowReportsTheColumnReadFailureWithoutMessageBox) {
    search.rows.clear();
    search.columnResult = E_ADS_COLUMN_NOT_SET;
    EXPECT_EQ(E_ADS_COLUMN_NOT_SET, Failure());
    EXPECT_EQ(0, platform.messageBoxes);
    EXPECT_EQ(1u, Fakes::Count(log, L"ADsGetLastError 512 512"));
}

TEST_F(FindSchemaMaster, NoMoreRowsWithMoreDataAsksAgainAsOftenAsItRecurs) {
    search.rows = {S_ADS_NOMORE_ROWS, S_ADS_NOMORE_ROWS, S_ADS_NOMORE_ROWS, S_OK};
    platform.lastErrors.assign(3, {S_OK, ERROR_MORE_DATA, L"", L""});
    ASSERT_TRUE(Success());
    EXPECT_EQ(4u, Fakes::Count(log, L"GetNextRow"));
    EXPECT_EQ(3u, Fakes::Count(log, L"ADsGetLastError 512 512"));
}

TEST_F(FindSchemaMaster, NoMoreRowsWithAnyOtherExtendedErrorStopsAsking) {
    for (DWORD code : {0ul, 8202ul, 13ul}) {
        SCOPED_TRACE(code);
        log.clear();
        search.rows = {S_ADS_NOMORE_ROWS, S_OK};
        platform.lastErrors = {{S_OK, code, L"", L""}};
        search.columnResult = E_ADS_COLUMN_NOT_SET;
        EXPECT_EQ(E_ADS_COLUMN_NOT_SET, Failure());
        EXPECT_EQ(1u, Fakes::Count(log, L"GetNextRow"));
    }
}

TEST_F(FindSchemaMaster, StringAndProviderSpecificColumnsGiveThePath) {
    struct Case {
        ADSTYPE type;
        bool terminated;
    } cases[] = {
        {ADSTYPE_DN_STRING, true},          {ADSTYPE_CASE_EXACT_STRING, true},
        {ADSTYPE_CASE_IGNORE_STRING, true}, {ADSTYPE_PRINTABLE_STRING, true},
        {ADSTYPE_PROV_SPECIFIC, true},
        // The bytes' length bounds the text even without a terminator.
        {ADSTYPE_PROV_SPECIFIC, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.type << (c.terminated ? "" : " unterminated"));
        log.clear();
        search.columnType = c.type;
        search.columnTerminated = c.terminated;
        ASSERT_TRUE(Success());
        EXPECT_TRUE(Bound(ContainerPath));
    }
    EXPECT_EQ(0, platform.messageBoxes);
}

TEST_F(FindSchemaMaster, UnexpectedColumnTypeShowsTheBoxThenFails) {
    for (ADSTYPE type : {ADSTYPE_NUMERIC_STRING, ADSTYPE_BOOLEAN, ADSTYPE_INTEGER,
                         ADSTYPE_OCTET_STRING, ADSTYPE_INVALID}) {
        SCOPED_TRACE(type);
        log.clear();
        search.columnType = type;
        platform.messageBoxes = 0;
        EXPECT_EQ(E_ADS_COLUMN_NOT_SET, Failure());
        EXPECT_EQ(1, platform.messageBoxes);
        auto box = std::find(log.begin(), log.end(),
                             L"MessageBox Found unexpected AD type. | Error | " +
                                 std::to_wstring(MB_ICONERROR | MB_OK));
        ASSERT_NE(log.end(), box);
        EXPECT_EQ(L"GetColumn ADsPath", *(box - 1));
        EXPECT_FALSE(Bound(ContainerPath));
    }
}

TEST_F(FindSchemaMaster, ColumnWithoutValueFailsWithoutMessageBox) {
    struct Case {
        const char* what;
        ADSTYPE type;
        bool null;
        DWORD values;
    } cases[] = {
        {"null string", ADSTYPE_DN_STRING, true, 1},
        {"null bytes", ADSTYPE_PROV_SPECIFIC, true, 1},
        {"no value", ADSTYPE_CASE_IGNORE_STRING, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log.clear();
        search.columnType = c.type;
        search.columnNull = c.null;
        search.columnValues = c.values;
        EXPECT_EQ(E_ADS_COLUMN_NOT_SET, Failure());
        EXPECT_EQ(0, platform.messageBoxes);
    }
}

TEST_F(FindSchemaMaster, NamingContextThatIsNotAStringIsRefused) {
    // Several values come back as an array; reading it as a string would
    // follow a safe-array pointer as text.
    root.strings.clear();
    root.integers[L"schemaNamingContext"] = 7;
    EXPECT_EQ(E_ADS_CANT_CONVERT_DATATYPE, Failure());
    EXPECT_EQ(1u, Fakes::Count(log, L"bind LDAP://RootDSE IADs"));
    EXPECT_EQ(2u, log.size());
}

}  // namespace
