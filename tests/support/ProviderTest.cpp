#include "tests/support/ProviderTest.h"

#include <atomic>
#include <fstream>

namespace ProviderTest {

const Forest& TheForest() {
    using TestSupport::EnvironmentValue;
    static const Forest forest{EnvironmentValue(L"WINEADSI_SERVER"), EnvironmentValue(L"WINEADSI_USER"),
                               EnvironmentValue(L"WINEADSI_PASSWORD"), Narrow(EnvironmentValue(L"FOREST_RUN_DIR")),
                               Narrow(EnvironmentValue(L"FOREST_SCRIPT"))};
    return forest;
}

std::vector<TestSupport::Entry> LdapEntries(const std::wstring& base, const char* scope, const std::string& filter,
                                            const std::string& attributes) {
    const TestSupport::ForestSearch search =
        TestSupport::SearchForest("ldapsearch", Narrow(base), scope, filter, attributes);
    if (search.status != 32) {
        EXPECT_EQ(0, search.status) << "ldapsearch failed: " << search.output;
    }
    return search.status == 0 ? search.entries : std::vector<TestSupport::Entry>();
}

std::wstring UniqueName(const wchar_t* prefix) {
    static std::atomic<int> counter{0};
    return prefix + std::to_wstring(::GetTickCount()) + L"x" + std::to_wstring(::GetCurrentProcessId()) + L"x" +
           std::to_wstring(counter++);
}

LastError ReadLastError() {
    LastError error;
    wchar_t text[512] = L"?", provider[512] = L"?";
    HRESULT hr = ::ADsGetLastError(&error.code, text, 512, provider, 512);
    EXPECT_EQ(S_OK, hr);
    error.text = text;
    error.provider = provider;
    return error;
}

LastError ProviderError(DWORD code) {
    const LastError error = ReadLastError();
    EXPECT_EQ(code, error.code) << Narrow(error.text);
    EXPECT_EQ(L"LDAP Provider", error.provider);
    return error;
}

Scoped::ComPtr<IADs> CreateUnder(const std::wstring& parentDn, const wchar_t* objectClass, const std::wstring& rdn) {
    Scoped::ComPtr<IADsContainer> parent;
    EXPECT_EQ(S_OK, Bind(ServerlessPath(parentDn), IID_IADsContainer, parent));
    Scoped::ComPtr<IADs> object;
    if (!parent) return object;
    Scoped::Bstr className(objectClass), name(rdn.c_str());
    Scoped::ComPtr<IDispatch> created;
    EXPECT_EQ(S_OK, parent->Create(className.get(), name.get(), created.GetAddressOf()));
    if (created) {
        EXPECT_EQ(S_OK, created->QueryInterface(IID_IADs, reinterpret_cast<void**>(object.GetAddressOf())));
    }
    return object;
}

HRESULT AddContainer(const std::wstring& cn, const wchar_t* description) {
    Scoped::ComPtr<IADs> object = CreateUnder(UsersDn, L"container", L"CN=" + cn);
    if (!object) return E_FAIL;
    const HRESULT hr = PutString(object.Get(), L"description", description);
    return FAILED(hr) ? hr : object->SetInfo();
}

std::wstring GetString(IADs* object, const wchar_t* property) {
    Scoped::Bstr name(property);
    Scoped::Variant value;
    const HRESULT hr = object->Get(name.get(), value.out());
    EXPECT_EQ(S_OK, hr) << Narrow(property);
    EXPECT_EQ(VT_BSTR, V_VT(value.get())) << Narrow(property);
    if (FAILED(hr) || V_VT(value.get()) != VT_BSTR || !V_BSTR(value.get())) return std::wstring();
    return V_BSTR(value.get());
}

HRESULT PutString(IADs* object, const wchar_t* name, const wchar_t* value) {
    Scoped::Variant v;
    v.setBstr(value);
    Scoped::Bstr property(name);
    return object->Put(property.get(), *v);
}

HRESULT PutInteger(IADs* object, const wchar_t* name, LONG value) {
    Scoped::Variant v;
    v.setI4(value);
    Scoped::Bstr property(name);
    return object->Put(property.get(), *v);
}

OperationLog::OperationLog() {
    wchar_t dir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, dir);
    m_path = std::wstring(dir) + UniqueName(L"provider-ops-") + L".log";
    ::SetEnvironmentVariableW(L"WINEADSI_STATS", m_path.c_str());
}

OperationLog::~OperationLog() {
    ::SetEnvironmentVariableW(L"WINEADSI_STATS", nullptr);
    ::DeleteFileW(m_path.c_str());
}

long OperationLog::Count(const char* operation) const {
    std::ifstream in(Narrow(m_path));
    const std::string prefix = std::string(operation) + " ";
    long count = 0;
    for (std::string line; std::getline(in, line);) count += line.compare(0, prefix.size(), prefix) == 0;
    return count;
}

namespace {

std::wstring EscapeSlashes(std::wstring dn) {
    for (size_t at = 0; (at = dn.find(L'/', at)) != std::wstring::npos; at += 2) dn.insert(at, 1, L'\\');
    return dn;
}

}  // namespace

std::wstring ServerPath(const std::wstring& dn) { return L"LDAP://" + TheForest().server + L"/" + EscapeSlashes(dn); }
std::wstring ServerlessPath(const std::wstring& dn) { return L"LDAP://" + EscapeSlashes(dn); }

}  // namespace ProviderTest
