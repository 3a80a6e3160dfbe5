// IDirectorySearch: the search deferred to the first row, rows as the
// directory returns them, the ADsPath column, column types, a column the row
// lacks, attribute lists, the end of the rows, malformed filters and handles.
#include "tests/support/ProviderTest.h"

#include <set>

using namespace ProviderTest;

namespace {

using ProviderSearch = ForestTest;

// One search, closed on every way out.
class Search {
public:
    Search(const std::wstring& dn, const wchar_t* filter, std::vector<const wchar_t*> attributes) {
        EXPECT_EQ(S_OK, Bind(ServerlessPath(dn), IID_IDirectorySearch, m_search));
        if (!m_search) return;
        std::vector<LPWSTR> names;
        for (const wchar_t* a : attributes) names.push_back(const_cast<LPWSTR>(a));
        m_hr = m_search->ExecuteSearch(const_cast<LPWSTR>(filter), names.empty() ? nullptr : names.data(),
                                       names.empty() ? static_cast<DWORD>(-1) : static_cast<DWORD>(names.size()),
                                       &m_handle);
    }
    ~Search() {
        if (m_handle) m_search->CloseSearchHandle(m_handle);
    }
    HRESULT executed() const { return m_hr; }
    IDirectorySearch* operator->() const { return m_search.Get(); }
    ADS_SEARCH_HANDLE handle() const { return m_handle; }

    // The column's values as strings, or the GetColumn failure.
    HRESULT Column(const wchar_t* name, ADSTYPE& type, std::vector<std::wstring>& values) {
        values.clear();
        ADS_SEARCH_COLUMN column{};
        HRESULT hr = m_search->GetColumn(m_handle, const_cast<LPWSTR>(name), &column);
        if (FAILED(hr)) return hr;
        type = column.dwADsType;
        for (DWORD i = 0; i < column.dwNumValues; ++i) {
            EXPECT_EQ(column.dwADsType, column.pADsValues[i].dwType);
            values.push_back(column.pADsValues[i].CaseIgnoreString);
        }
        EXPECT_EQ(std::wstring(name), column.pszAttrName);
        EXPECT_EQ(S_OK, m_search->FreeColumn(&column));
        return hr;
    }

private:
    Scoped::ComPtr<IDirectorySearch> m_search;
    ADS_SEARCH_HANDLE m_handle = nullptr;
    HRESULT m_hr = E_FAIL;
};

}  // namespace

TEST_F(ProviderSearch, SchemaRoleOwnerSearchAsDiscoveryMakesIt) {
    Search search(SchemaDn, L"(&(objectClass=dMD)(fSMORoleOwner=*))", {L"ADsPath"});
    ASSERT_EQ(S_OK, search.executed());
    ASSERT_EQ(S_OK, search->GetNextRow(search.handle()));
    ADSTYPE type = ADSTYPE_INVALID;
    std::vector<std::wstring> values;
    ASSERT_EQ(S_OK, search.Column(L"ADsPath", type, values));
    EXPECT_EQ(ADSTYPE_CASE_IGNORE_STRING, type);
    EXPECT_EQ(std::vector<std::wstring>{ServerlessPath(SchemaDn)}, values);
    // Only ADsPath was asked for.
    EXPECT_EQ(E_ADS_COLUMN_NOT_SET, search.Column(L"fSMORoleOwner", type, values));

    // One row only: the next answer is the end, with nothing pending, even
    // when an older record said ERROR_MORE_DATA.
    ::ADsSetLastError(ERROR_MORE_DATA, L"stale", L"LDAP Provider");
    EXPECT_EQ(S_ADS_NOMORE_ROWS, search->GetNextRow(search.handle()));
    EXPECT_EQ(DWORD(ERROR_SUCCESS), ReadLastError().code);
    EXPECT_EQ(S_ADS_NOMORE_ROWS, search->GetNextRow(search.handle()));
    EXPECT_EQ(E_ADS_COLUMN_NOT_SET, search.Column(L"ADsPath", type, values));
}

TEST_F(ProviderSearch, RowsMatchTheDirectory) {
    Search search(UsersDn, L"(objectClass=*)", {L"cn", L"distinguishedName", L"objectClass", L"ADsPath"});
    ASSERT_EQ(S_OK, search.executed());
    std::set<std::wstring> seen;
    size_t rows = 0;
    HRESULT hr;
    while ((hr = search->GetNextRow(search.handle())) == S_OK) {
        ++rows;
        ADSTYPE type = ADSTYPE_INVALID;
        std::vector<std::wstring> dn, path, cn, classes;
        ASSERT_EQ(S_OK, search.Column(L"distinguishedName", type, dn));
        EXPECT_EQ(ADSTYPE_DN_STRING, type);
        ASSERT_EQ(1u, dn.size());
        ASSERT_EQ(S_OK, search.Column(L"ADsPath", type, path));
        EXPECT_EQ(std::vector<std::wstring>{ServerlessPath(dn[0])}, path);
        ASSERT_EQ(S_OK, search.Column(L"cn", type, cn));
        EXPECT_EQ(ADSTYPE_CASE_IGNORE_STRING, type);
        ASSERT_EQ(S_OK, search.Column(L"objectClass", type, classes));
        EXPECT_GE(classes.size(), 2u);
        EXPECT_EQ(E_ADS_COLUMN_NOT_SET, search.Column(L"description2", type, classes));
        seen.insert(dn[0]);
    }
    EXPECT_EQ(S_ADS_NOMORE_ROWS, hr);

    // Every entry that ldapsearch sees under CN=Users, and no other.
    std::set<std::wstring> expected;
    for (const std::string& dn : TestSupport::Values(LdapEntries(UsersDn, "sub", "(objectClass=*)", "1.1"), "dn"))
        expected.insert(Widen(dn));
    EXPECT_EQ(expected.size(), rows);
    EXPECT_EQ(expected, seen);
}

TEST_F(ProviderSearch, DomainSubtreeWithReferralsToOtherPartitions) {
    // The domain head's subtree holds continuation references to the DNS
    // partitions; they are not rows.
    Search search(BaseDn, L"(objectClass=container)", {L"ADsPath"});
    ASSERT_EQ(S_OK, search.executed());
    size_t rows = 0;
    while (search->GetNextRow(search.handle()) == S_OK) ++rows;
    size_t expected = LdapEntries(BaseDn, "sub", "(objectClass=container)", "1.1").size();
    EXPECT_GT(expected, 0u);
    EXPECT_EQ(expected, rows);
}

TEST_F(ProviderSearch, NoRowsAndAllAttributes) {
    {
        Search search(UsersDn, L"(cn=NoSuchEntryAnywhere)", {L"ADsPath"});
        ASSERT_EQ(S_OK, search.executed());
        ADSTYPE type;
        std::vector<std::wstring> values;
        EXPECT_EQ(E_ADS_COLUMN_NOT_SET, search.Column(L"ADsPath", type, values)) << "before the first row";
        EXPECT_EQ(S_ADS_NOMORE_ROWS, search->GetNextRow(search.handle()));
        EXPECT_EQ(E_ADS_COLUMN_NOT_SET, search.Column(L"ADsPath", type, values));
    }
    {
        // No attribute list: every attribute comes back.
        Search search(UsersDn, L"(cn=Administrator)", {});
        ASSERT_EQ(S_OK, search.executed());
        ASSERT_EQ(S_OK, search->GetNextRow(search.handle()));
        ADSTYPE type;
        std::vector<std::wstring> values;
        EXPECT_EQ(S_OK, search.Column(L"sAMAccountName", type, values));
        EXPECT_EQ(std::vector<std::wstring>{L"Administrator"}, values);
        EXPECT_EQ(S_OK, search.Column(L"ADsPath", type, values));
        EXPECT_EQ(std::vector<std::wstring>{ServerlessPath(L"CN=Administrator,CN=Users,DC=samdom,DC=test")}, values);
    }
}

TEST_F(ProviderSearch, FailuresAndHandles) {
    Scoped::ComPtr<IDirectorySearch> search;
    ASSERT_EQ(S_OK, Bind(ServerlessPath(UsersDn), IID_IDirectorySearch, search));
    LPWSTR names[] = {const_cast<LPWSTR>(L"cn")};
    struct Row {
        const wchar_t* filter;
        HRESULT expected;
    };
    const Row rows[] = {
        {L"(cn=*)", S_OK},
        // Malformed: refused before anything is sent ("Generic ADSI Error
        // Codes", E_ADS_INVALID_FILTER).
        {L"(cn=", E_ADS_INVALID_FILTER},
        {L"cn=x)(", E_ADS_INVALID_FILTER},
        {L"(&(cn=a)(cn=b)", E_ADS_INVALID_FILTER},
        {L"(cn=a\\zz)", E_ADS_INVALID_FILTER},
    };
    for (const Row& row : rows) {
        ADS_SEARCH_HANDLE handle = reinterpret_cast<ADS_SEARCH_HANDLE>(1);
        EXPECT_EQ(row.expected, search->ExecuteSearch(const_cast<LPWSTR>(row.filter), names, 1, &handle))
            << Narrow(row.filter);
        if (SUCCEEDED(row.expected)) {
            EXPECT_EQ(S_OK, search->CloseSearchHandle(handle));
            // A handle is closed once; the second close is refused, not a crash.
            EXPECT_EQ(E_ADS_BAD_PARAMETER, search->CloseSearchHandle(handle));
            EXPECT_EQ(E_ADS_BAD_PARAMETER, search->GetNextRow(handle));
        } else {
            EXPECT_EQ(nullptr, handle);
        }
    }
    EXPECT_EQ(E_ADS_BAD_PARAMETER, search->ExecuteSearch(const_cast<LPWSTR>(L"(cn=*)"), names, 1, nullptr));
    EXPECT_EQ(E_ADS_BAD_PARAMETER, search->GetNextRow(nullptr));
    ADS_SEARCH_COLUMN column{};
    EXPECT_EQ(E_ADS_BAD_PARAMETER, search->GetColumn(nullptr, names[0], &column));
    EXPECT_EQ(E_ADS_BAD_PARAMETER, search->FreeColumn(nullptr));
}

// "IDirectorySearch::ExecuteSearch": the LDAP provider defers the search to
// the first GetFirstRow or GetNextRow, which then answers as any call that
// fails ("Win32 Error Codes" for the HRESULT, ADsGetLastError for the
// extended error). A count of 0 asks for no attribute, so no column is set.
TEST_F(ProviderSearch, DeferredToTheFirstRow) {
    // A search based at an object never committed finds no base object.
    Scoped::ComPtr<IADs> vanishing = CreateUnder(UsersDn, L"container", L"CN=" + UniqueName(L"Vanishing"));
    ASSERT_TRUE(vanishing);
    Scoped::ComPtr<IDirectorySearch> detached, search;
    ASSERT_EQ(S_OK, vanishing->QueryInterface(IID_IDirectorySearch, reinterpret_cast<void**>(detached.GetAddressOf())));
    ASSERT_EQ(S_OK, Bind(ServerlessPath(UsersDn), IID_IDirectorySearch, search));
    LPWSTR cn[] = {const_cast<LPWSTR>(L"cn")};

    OperationLog log;
    auto searches = [&] { return log.Count("search"); };
    Scoped::SearchHandle gone(detached.Get());
    EXPECT_EQ(S_OK, detached->ExecuteSearch(const_cast<LPWSTR>(L"(cn=*)"), cn, 1, gone.out()));
    EXPECT_EQ(0, searches()) << "ExecuteSearch sends nothing";
    ::ADsSetLastError(0, L"", L"");
    EXPECT_EQ(HRESULT(0x80072030), detached->GetNextRow(gone.get()));
    EXPECT_EQ(DWORD(ERROR_DS_NO_SUCH_OBJECT), ReadLastError().code);
    EXPECT_EQ(HRESULT(0x80072030), detached->GetFirstRow(gone.get()));

    // No attribute list and a count of 0: rows, but no column.
    Scoped::SearchHandle none(search.Get());
    EXPECT_EQ(S_OK, search->ExecuteSearch(const_cast<LPWSTR>(L"(cn=Users)"), nullptr, 0, none.out()));
    long long before = searches();
    EXPECT_EQ(S_OK, search->GetNextRow(none.get()));
    EXPECT_EQ(before + 1, searches());
    for (const wchar_t* name : {L"cn", L"ADsPath"}) {
        ADS_SEARCH_COLUMN column{};
        EXPECT_EQ(E_ADS_COLUMN_NOT_SET, search->GetColumn(none.get(), const_cast<LPWSTR>(name), &column))
            << Narrow(name);
    }
    EXPECT_EQ(S_ADS_NOMORE_ROWS, search->GetNextRow(none.get()));
    // GetFirstRow goes back to the first row without asking again.
    EXPECT_EQ(S_OK, search->GetFirstRow(none.get()));
    EXPECT_EQ(before + 1, searches());
}
