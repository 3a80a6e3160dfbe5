// The property cache: Get of what the directory holds in the VARIANT type of
// each syntax, Put converting by syntax, the schema read once per server,
// Create then SetInfo as one add, SetInfo of an existing object as one
// modify, and the directory's refusals with their extended errors.
#include "tests/support/ProviderTest.h"

#include <algorithm>
#include <functional>
#include <set>

using namespace ProviderTest;

namespace {

using ProviderGet = ForestTest;
using ProviderPut = ForestTest;
using ProviderCreate = ForestTest;
using ProviderSetInfo = ForestTest;

const wchar_t CommonNameDn[] = L"CN=Common-Name,CN=Schema,CN=Configuration,DC=samdom,DC=test";

// A value of one of the types Get returns, in the directory's text form.
std::wstring ScalarText(const VARIANT& value) {
    switch (V_VT(&value)) {
    case VT_BSTR:
        return V_BSTR(&value);
    case VT_BOOL:
        return V_BOOL(&value) ? L"TRUE" : L"FALSE";
    case VT_I4:
        return std::to_wstring(V_I4(&value));
    case VT_DATE: {
        SYSTEMTIME t{};
        EXPECT_TRUE(::VariantTimeToSystemTime(V_DATE(&value), &t));
        wchar_t text[32];
        swprintf(text, 32, L"%04u%02u%02u%02u%02u%02u.0Z", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
        return text;
    }
    default:
        ADD_FAILURE() << "unexpected VARIANT type " << V_VT(&value);
        return std::wstring();
    }
}

std::vector<std::wstring> VariantStrings(const VARIANT& value) {
    std::vector<std::wstring> out;
    if (V_VT(&value) != (VT_ARRAY | VT_VARIANT)) {
        out.push_back(ScalarText(value));
    } else {
        LONG lower = 0, upper = -1;
        ::SafeArrayGetLBound(V_ARRAY(&value), 1, &lower);
        ::SafeArrayGetUBound(V_ARRAY(&value), 1, &upper);
        for (LONG i = lower; i <= upper; ++i) {
            Scoped::Variant element;
            EXPECT_EQ(S_OK, ::SafeArrayGetElement(V_ARRAY(&value), &i, element.get()));
            out.push_back(ScalarText(*element));
        }
    }
    return out;
}

HRESULT GetStrings(IADs* object, const wchar_t* name, std::vector<std::wstring>& values) {
    Scoped::Variant v;
    Scoped::Bstr property(name);
    HRESULT hr = object->Get(property.get(), v.out());
    values = SUCCEEDED(hr) ? VariantStrings(*v) : std::vector<std::wstring>();
    return hr;
}

}  // namespace

TEST_F(ProviderGet, ValuesAsTheDirectoryHoldsThem) {
    struct Row {
        std::wstring dn;  // empty: RootDSE
        const wchar_t* property;
        HRESULT expected;
        VARTYPE type;
        const char* page;  // the documentation that fixes the type
    };
    const wchar_t ServerDn[] =
        L"CN=DC1,CN=Servers,CN=Default-First-Site-Name,CN=Sites,CN=Configuration,DC=samdom,DC=test";
    const Row rows[] = {
        {UsersDn, L"cn", S_OK, VT_BSTR, "String(Unicode)"},
        {UsersDn, L"CN", S_OK, VT_BSTR, "String(Unicode)"},  // names are case-insensitive
        {UsersDn, L"distinguishedName", S_OK, VT_BSTR, "Object(DS-DN)"},
        {UsersDn, L"objectClass", S_OK, VT_ARRAY | VT_VARIANT, "IADs::Get (several values)"},
        {UsersDn, L"systemFlags", S_OK, VT_I4, "Integer"},
        {UsersDn, L"whenCreated", S_OK, VT_DATE, "String(Generalized-Time)"},
        {UsersDn, L"noSuchProperty", E_ADS_PROPERTY_NOT_FOUND, VT_EMPTY, "IADs::Get"},
        {CommonNameDn, L"isSingleValued", S_OK, VT_BOOL, "Boolean"},
        {CommonNameDn, L"oMSyntax", S_OK, VT_I4, "Integer"},
        {CommonNameDn, L"attributeSyntax", S_OK, VT_BSTR, "String(Object-Identifier)"},
        {SchemaDn, L"fSMORoleOwner", S_OK, VT_BSTR, "Object(DS-DN)"},
        {ServerDn, L"dNSHostName", S_OK, VT_BSTR, "String(Unicode)"},
        {L"", L"schemaNamingContext", S_OK, VT_BSTR, "RootDSE: not in the schema, no type documented"},
        {L"", L"namingContexts", S_OK, VT_ARRAY | VT_VARIANT, "RootDSE: not in the schema, no type documented"},
        {L"", L"noSuchProperty", E_ADS_PROPERTY_NOT_FOUND, VT_EMPTY, "IADs::Get"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Narrow(row.dn + L" " + row.property) + " (" + row.page + ")");
        Scoped::ComPtr<IADs> object;
        ASSERT_EQ(S_OK, Bind(row.dn.empty() ? L"LDAP://RootDSE" : ServerlessPath(row.dn), IID_IADs, object));
        Scoped::Variant value;
        Scoped::Bstr name(row.property);
        EXPECT_EQ(row.expected, object->Get(name.get(), value.out()));
        EXPECT_EQ(row.type, V_VT(value.get()));
        if (FAILED(row.expected)) continue;
        const auto entries = LdapEntries(row.dn, "base", "(objectClass=*)", Narrow(row.property));
        std::multiset<std::wstring> stored;
        for (const std::string& v : TestSupport::Values(entries, Narrow(row.property))) stored.insert(Widen(v));
        const std::vector<std::wstring> got = VariantStrings(*value);
        EXPECT_EQ(stored, std::multiset<std::wstring>(got.begin(), got.end()));
    }
}

// The bind reads the whole entry: Get answers from it, GetInfo asks again.
TEST_F(ProviderGet, ReadsTheEntryOncePerBind) {
    OperationLog log;
    Scoped::ComPtr<IADs> object;
    ASSERT_EQ(S_OK, Bind(ServerlessPath(UsersDn), IID_IADs, object));
    std::vector<std::wstring> values;
    EXPECT_EQ(S_OK, GetStrings(object.Get(), L"cn", values));
    EXPECT_EQ(std::vector<std::wstring>{L"Users"}, values);
    EXPECT_EQ(1, log.Count("search"));
    EXPECT_EQ(S_OK, object->GetInfo());
    EXPECT_EQ(2, log.Count("search"));
}

// Syntaxes come from the server's schema once, not once per call: two passes
// of Gets and column reads over fresh binds, the second reading nothing but
// the objects themselves.
TEST_F(ProviderGet, SchemaIsReadOncePerServer) {
    auto pass = [] {
        OperationLog log;
        Scoped::ComPtr<IADs> users, commonName;
        EXPECT_EQ(S_OK, Bind(ServerlessPath(UsersDn), IID_IADs, users));
        EXPECT_EQ(S_OK, Bind(ServerlessPath(CommonNameDn), IID_IADs, commonName));
        std::vector<std::wstring> values;
        for (const wchar_t* name : {L"systemFlags", L"whenCreated", L"distinguishedName"})
            EXPECT_EQ(S_OK, GetStrings(users.Get(), name, values)) << Narrow(name);
        for (const wchar_t* name : {L"isSingleValued", L"oMSyntax", L"attributeSyntax"})
            EXPECT_EQ(S_OK, GetStrings(commonName.Get(), name, values)) << Narrow(name);
        Scoped::ComPtr<IDirectorySearch> search;
        EXPECT_EQ(S_OK, Bind(ServerlessPath(UsersDn), IID_IDirectorySearch, search));
        LPWSTR names[] = {const_cast<LPWSTR>(L"cn"), const_cast<LPWSTR>(L"distinguishedName"),
                          const_cast<LPWSTR>(L"objectClass")};
        Scoped::SearchHandle handle(search.Get());
        EXPECT_EQ(S_OK, search->ExecuteSearch(const_cast<LPWSTR>(L"(cn=Users)"), names, 3, handle.out()));
        EXPECT_EQ(S_OK, search->GetNextRow(handle.get()));
        for (LPWSTR name : names) {
            ADS_SEARCH_COLUMN column{};
            EXPECT_EQ(S_OK, search->GetColumn(handle.get(), name, &column)) << Narrow(name);
            search->FreeColumn(&column);
        }
        // Searches other than the three binds and the one search.
        return log.Count("search") - 4;
    };
    EXPECT_LE(pass(), 2) << "RootDSE and the subschema entry, if this process had not read them yet";
    EXPECT_EQ(0, pass());
}

TEST_F(ProviderGet, BadArguments) {
    Scoped::ComPtr<IADs> object;
    ASSERT_EQ(S_OK, Bind(ServerlessPath(UsersDn), IID_IADs, object));
    Scoped::Bstr name(L"cn");
    Scoped::Variant value;
    EXPECT_EQ(E_ADS_BAD_PARAMETER, object->Get(nullptr, value.out()));
    EXPECT_EQ(E_ADS_BAD_PARAMETER, object->Get(name.get(), nullptr));
}

TEST_F(ProviderPut, EachVariantTypeReachesTheDirectory) {
    std::wstring cn = UniqueName(L"PutTypes");
    Scoped::ComPtr<IADs> object = CreateUnder(UsersDn, L"container", L"CN=" + cn);
    ASSERT_TRUE(object);

    LPWSTR urls[] = {const_cast<LPWSTR>(L"http://one.example"), const_cast<LPWSTR>(L"http://two.example")};
    struct Row {
        const wchar_t* property;
        std::function<void(VARIANT*)> fill;
        HRESULT expected;
        std::vector<std::string> stored;  // what ldapsearch must find
    };
    // Put converts by the attribute's syntax ("ADSI Data Types" and the
    // syntax's page: Boolean VT_BOOL, Integer VT_I4, String(Unicode)
    // VT_BSTR); what does not convert is refused ("Generic ADSI Error
    // Codes": E_ADS_CANT_CONVERT_DATATYPE, whose remedy is the right type or
    // schema data for the attribute) and leaves the cache as it was.
    const Row rows[] = {
        {L"description", [](VARIANT* v) { V_VT(v) = VT_BSTR; V_BSTR(v) = ::SysAllocString(L"a string value"); },
         S_OK, {"a string value"}},
        {L"showInAdvancedViewOnly", [](VARIANT* v) { V_VT(v) = VT_BOOL; V_BOOL(v) = VARIANT_TRUE; }, S_OK, {"TRUE"}},
        {L"flags", [](VARIANT* v) { V_VT(v) = VT_I4; V_I4(v) = -42; }, S_OK, {"-42"}},
        {L"url", [&](VARIANT* v) { ASSERT_EQ(S_OK, ::ADsBuildVarArrayStr(urls, 2, v)); }, S_OK,
         {"http://one.example", "http://two.example"}},
        {L"adminDisplayName", [](VARIANT* v) { V_VT(v) = VT_R8; V_R8(v) = 1.5; }, E_ADS_CANT_CONVERT_DATATYPE, {}},
        {L"adminDisplayName", [](VARIANT* v) { V_VT(v) = VT_EMPTY; }, E_ADS_CANT_CONVERT_DATATYPE, {}},
        {L"adminDisplayName", [](VARIANT* v) { V_VT(v) = VT_DATE; V_DATE(v) = 45000.0; }, E_ADS_CANT_CONVERT_DATATYPE, {}},
        {L"adminDisplayName", [](VARIANT* v) { V_VT(v) = VT_UI4; V_UI4(v) = 7; }, E_ADS_CANT_CONVERT_DATATYPE, {}},
        {L"adminDisplayName",
         [](VARIANT* v) {
             SAFEARRAY* a = ::SafeArrayCreateVector(VT_VARIANT, 0, 1);
             LONG i = 0;
             VARIANT element;
             ::VariantInit(&element);
             V_VT(&element) = VT_R8;
             V_R8(&element) = 2.5;
             ::SafeArrayPutElement(a, &i, &element);
             V_VT(v) = VT_ARRAY | VT_VARIANT;
             V_ARRAY(v) = a;
         },
         E_ADS_CANT_CONVERT_DATATYPE, {}},
        {L"adminDisplayName",
         [](VARIANT* v) {
             V_VT(v) = VT_ARRAY | VT_I4;
             V_ARRAY(v) = ::SafeArrayCreateVector(VT_I4, 0, 2);
         },
         E_ADS_CANT_CONVERT_DATATYPE, {}},
        {L"flags", [](VARIANT* v) { V_VT(v) = VT_BSTR; V_BSTR(v) = ::SysAllocString(L"7"); },
         E_ADS_CANT_CONVERT_DATATYPE, {}},
        {L"showInAdvancedViewOnly", [](VARIANT* v) { V_VT(v) = VT_I4; V_I4(v) = 0; }, E_ADS_CANT_CONVERT_DATATYPE, {}},
        {L"description", [](VARIANT* v) { V_VT(v) = VT_BOOL; V_BOOL(v) = VARIANT_FALSE; },
         E_ADS_CANT_CONVERT_DATATYPE, {}},
        {L"wexlorNoSuchAttribute", [](VARIANT* v) { V_VT(v) = VT_BSTR; V_BSTR(v) = ::SysAllocString(L"x"); },
         E_ADS_CANT_CONVERT_DATATYPE, {}},
    };
    for (const Row& row : rows) {
        Scoped::Variant value;
        row.fill(value.get());
        Scoped::Bstr name(row.property);
        EXPECT_EQ(row.expected, object->Put(name.get(), *value)) << Narrow(row.property);
    }
    // Refused values never entered the cache.
    std::vector<std::wstring> cached;
    EXPECT_EQ(E_ADS_PROPERTY_NOT_FOUND, GetStrings(object.Get(), L"adminDisplayName", cached));
    EXPECT_EQ(S_OK, GetStrings(object.Get(), L"showInAdvancedViewOnly", cached));
    EXPECT_EQ(std::vector<std::wstring>{L"TRUE"}, cached);

    ASSERT_EQ(S_OK, object->SetInfo());
    const auto stored = LdapEntries(std::wstring(L"CN=") + cn + L"," + UsersDn, "base", "(objectClass=*)",
                                    "description showInAdvancedViewOnly flags url adminDisplayName");
    for (const Row& row : rows) {
        if (FAILED(row.expected)) continue;
        std::vector<std::string> values = TestSupport::Values(stored, Narrow(row.property));
        std::sort(values.begin(), values.end());
        EXPECT_EQ(row.stored, values) << Narrow(row.property);
    }
    EXPECT_TRUE(TestSupport::Values(stored, "adminDisplayName").empty());
}

TEST_F(ProviderPut, BooleanFalseAndBadNames) {
    Scoped::ComPtr<IADs> object = CreateUnder(UsersDn, L"container", L"CN=" + UniqueName(L"PutFalse"));
    ASSERT_TRUE(object);
    Scoped::Variant value;
    value.setBool(false);
    Scoped::Bstr name(L"showInAdvancedViewOnly"), empty(L"");
    EXPECT_EQ(S_OK, object->Put(name.get(), *value));
    std::vector<std::wstring> cached;
    EXPECT_EQ(S_OK, GetStrings(object.Get(), L"showInAdvancedViewOnly", cached));
    EXPECT_EQ(std::vector<std::wstring>{L"FALSE"}, cached);
    EXPECT_EQ(E_ADS_BAD_PARAMETER, object->Put(nullptr, *value));
    EXPECT_EQ(E_ADS_BAD_PARAMETER, object->Put(empty.get(), *value));
}

TEST_F(ProviderCreate, NothingReachesTheDirectoryBeforeSetInfo) {
    OperationLog log;
    std::wstring cn = UniqueName(L"Created");
    std::wstring dn = L"CN=" + cn + L"," + UsersDn;
    Scoped::ComPtr<IADs> object = CreateUnder(UsersDn, L"container", L"CN=" + cn);
    ASSERT_TRUE(object);
    ASSERT_EQ(S_OK, PutString(object.Get(), L"description", L"made by Create"));
    ASSERT_EQ(S_OK, PutInteger(object.Get(), L"flags", 7));

    // A new object has no directory state to load, and is not there yet.
    EXPECT_EQ(E_ADS_OBJECT_UNBOUND, object->GetInfo());
    std::vector<std::wstring> values;
    EXPECT_EQ(E_ADS_PROPERTY_NOT_FOUND, GetStrings(object.Get(), L"whenCreated", values));
    EXPECT_TRUE(LdapEntries(dn, "base", "(objectClass=*)", "cn").empty());
    Scoped::Bstr path;
    ASSERT_EQ(S_OK, object->get_ADsPath(path.out()));
    EXPECT_EQ(ServerlessPath(dn), path.get());
    EXPECT_EQ(0, log.Count("add"));

    ASSERT_EQ(S_OK, object->SetInfo());
    EXPECT_EQ(1, log.Count("add"));
    const auto written = LdapEntries(dn, "base", "(objectClass=*)", "objectClass description flags");
    EXPECT_EQ((std::vector<std::string>{"top", "container"}), TestSupport::Values(written, "objectClass"));
    EXPECT_EQ(std::vector<std::string>{"made by Create"}, TestSupport::Values(written, "description"));
    EXPECT_EQ(std::vector<std::string>{"7"}, TestSupport::Values(written, "flags"));

    // Now bound: a Get loads what the directory made of it.
    EXPECT_EQ(S_OK, GetStrings(object.Get(), L"whenCreated", values));
    EXPECT_EQ(1u, values.size());
}

TEST_F(ProviderCreate, BadArguments) {
    Scoped::ComPtr<IADsContainer> users;
    ASSERT_EQ(S_OK, Bind(ServerlessPath(UsersDn), IID_IADsContainer, users));
    struct Row {
        const wchar_t* objectClass;
        const wchar_t* rdn;
        HRESULT expected;
    };
    const Row rows[] = {
        {L"container", L"NoEquals", E_ADS_BAD_PATHNAME},
        {L"container", L"CN=Two,CN=Parts", E_ADS_BAD_PATHNAME},
        {L"container", L"", E_ADS_BAD_PATHNAME},
        {L"", L"CN=NoClass", E_ADS_BAD_PARAMETER},
    };
    for (const Row& row : rows) {
        Scoped::Bstr objectClass(row.objectClass), rdn(row.rdn);
        IDispatch* created = reinterpret_cast<IDispatch*>(1);
        EXPECT_EQ(row.expected, users->Create(objectClass.get(), rdn.get(), &created)) << Narrow(row.rdn);
        EXPECT_EQ(nullptr, created);
    }
    Scoped::Bstr objectClass(L"container"), rdn(L"CN=x");
    EXPECT_EQ(E_ADS_BAD_PARAMETER, users->Create(objectClass.get(), rdn.get(), nullptr));
}

TEST_F(ProviderSetInfo, ModifiesAnExistingObjectOnlyWhenChanged) {
    std::wstring cn = UniqueName(L"Modified");
    std::wstring dn = L"CN=" + cn + L"," + UsersDn;
    ASSERT_EQ(S_OK, AddContainer(cn, L"first"));
    OperationLog log;
    Scoped::ComPtr<IADs> object;
    ASSERT_EQ(S_OK, Bind(ServerlessPath(dn), IID_IADs, object));
    EXPECT_EQ(S_OK, object->SetInfo());  // nothing changed: nothing sent
    EXPECT_EQ(0, log.Count("modify"));

    ASSERT_EQ(S_OK, PutString(object.Get(), L"description", L"second"));
    std::vector<std::wstring> values;
    EXPECT_EQ(S_OK, GetStrings(object.Get(), L"description", values));  // the load keeps the Put
    EXPECT_EQ(std::vector<std::wstring>{L"second"}, values);
    ASSERT_EQ(S_OK, object->SetInfo());
    EXPECT_EQ(1, log.Count("modify"));
    EXPECT_EQ(std::vector<std::string>{"second"},
              TestSupport::Values(LdapEntries(dn, "base", "(objectClass=*)", "description"), "description"));

    // GetInfo drops a change that was never saved.
    ASSERT_EQ(S_OK, PutString(object.Get(), L"description", L"unsaved"));
    ASSERT_EQ(S_OK, object->GetInfo());
    EXPECT_EQ(S_OK, GetStrings(object.Get(), L"description", values));
    EXPECT_EQ(std::vector<std::wstring>{L"second"}, values);
}

TEST_F(ProviderSetInfo, DuplicateAddGivesTheServersText) {
    std::wstring cn = UniqueName(L"Duplicate");
    ASSERT_EQ(S_OK, AddContainer(cn, L"original"));
    ::ADsSetLastError(0, L"", L"");
    EXPECT_EQ(HRESULT(0x80071392), AddContainer(cn, L"intruder"));
    const LastError error = ProviderError(ERROR_OBJECT_ALREADY_EXISTS);
    EXPECT_NE(std::wstring::npos, error.text.find(L"already exists")) << Narrow(error.text);
    // The first object is untouched.
    EXPECT_EQ(std::vector<std::string>{"original"},
              TestSupport::Values(
                  LdapEntries(L"CN=" + cn + L"," + UsersDn, "base", "(objectClass=*)", "description"), "description"));
}

TEST_F(ProviderSetInfo, ClassWithUnknownMayContainIsRefused) {
    std::wstring name = UniqueName(L"providerTestClass");
    std::wstring unknown = UniqueName(L"providerNoSuchAttribute");
    Scoped::ComPtr<IADs> object = CreateUnder(SchemaDn, L"classSchema", L"CN=" + name);
    ASSERT_TRUE(object);
    std::wstring governsId = L"1.3.6.1.4.1.32473.1.99." + std::to_wstring(::GetTickCount() % 1000000);
    ASSERT_EQ(S_OK, PutString(object.Get(), L"lDAPDisplayName", name.c_str()));
    ASSERT_EQ(S_OK, PutString(object.Get(), L"governsID", governsId.c_str()));
    ASSERT_EQ(S_OK, PutString(object.Get(), L"subClassOf", L"top"));
    ASSERT_EQ(S_OK, PutInteger(object.Get(), L"objectClassCategory", 3));
    LPWSTR mayContain[] = {const_cast<LPWSTR>(unknown.c_str())};
    Scoped::Variant list;
    ASSERT_EQ(S_OK, ::ADsBuildVarArrayStr(mayContain, 1, list.get()));
    Scoped::Bstr property(L"mayContain");
    ASSERT_EQ(S_OK, object->Put(property.get(), *list));

    ::ADsSetLastError(0, L"", L"");
    EXPECT_EQ(HRESULT(0x8007200B), object->SetInfo());
    const LastError error = ProviderError(ERROR_DS_INVALID_ATTRIBUTE_SYNTAX);
    EXPECT_EQ(0u, error.text.find(L"0000200B")) << Narrow(error.text);
    EXPECT_TRUE(LdapEntries(L"CN=" + name + L"," + SchemaDn, "base", "(objectClass=*)", "cn").empty());
}

TEST_F(ProviderSetInfo, SchemaObjectsWithTheProgramsTypes) {
    // An attribute written the way the program writes its own: strings,
    // COM booleans and 32-bit integers in one add to the schema container.
    std::wstring name = UniqueName(L"providerTestAttr");
    std::wstring id = L"1.3.6.1.4.1.32473.1.98." + std::to_wstring(::GetTickCount() % 1000000);
    Scoped::ComPtr<IADs> object = CreateUnder(SchemaDn, L"attributeSchema", L"CN=" + name);
    ASSERT_TRUE(object);
    for (const wchar_t* p : {L"adminDescription", L"adminDisplayName", L"cn", L"lDAPDisplayName"})
        ASSERT_EQ(S_OK, PutString(object.Get(), p, name.c_str()));
    ASSERT_EQ(S_OK, PutString(object.Get(), L"attributeID", id.c_str()));
    ASSERT_EQ(S_OK, PutString(object.Get(), L"attributeSyntax", L"2.5.5.8"));
    Scoped::Variant flag;
    flag.setBool(true);
    Scoped::Bstr singleValued(L"isSingleValued"), systemOnly(L"systemOnly");
    ASSERT_EQ(S_OK, object->Put(singleValued.get(), *flag));
    flag.setBool(false);
    ASSERT_EQ(S_OK, object->Put(systemOnly.get(), *flag));
    ASSERT_EQ(S_OK, PutInteger(object.Get(), L"oMSyntax", 1));
    ASSERT_EQ(S_OK, PutInteger(object.Get(), L"searchFlags", 1));
    ASSERT_EQ(S_OK, object->SetInfo());

    const auto stored = LdapEntries(L"CN=" + name + L"," + SchemaDn, "base", "(objectClass=*)",
                                    "attributeID attributeSyntax isSingleValued systemOnly oMSyntax searchFlags");
    ASSERT_EQ(1u, stored.size());
    const std::string attributeId = Narrow(id);
    EXPECT_EQ("", TestSupport::Differences(stored[0], {{"attributeID", attributeId.c_str()},
                                                       {"attributeSyntax", "2.5.5.8"},
                                                       {"isSingleValued", "TRUE"},
                                                       {"systemOnly", "FALSE"},
                                                       {"oMSyntax", "1"},
                                                       {"searchFlags", "1"}}));
}
