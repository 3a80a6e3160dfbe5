// Binding: the path forms, bad paths, missing objects, the interfaces each
// object answers, and the paths an object reports for itself and its parent.
#include "tests/support/ProviderTest.h"

using namespace ProviderTest;

TEST(ProviderBind, PathFormsAndBadPaths) {
    REQUIRE_FOREST();
    const std::wstring server = TheForest().server;
    const struct {
        const wchar_t* name;
        std::wstring path;
        HRESULT expected;
    } rows[] = {
        {L"serverless DN", ServerlessPath(UsersDn), S_OK},
        {L"server and DN", ServerPath(UsersDn), S_OK},
        {L"server with port", L"LDAP://" + server + L":389/" + UsersDn, S_OK},
        {L"RootDSE", L"LDAP://RootDSE", S_OK},
        {L"server RootDSE", L"LDAP://" + server + L"/RootDSE", S_OK},
        {L"RootDSE any case", L"LDAP://rootdse", S_OK},
        {L"spaces after commas", L"LDAP://CN=Users, DC=samdom, DC=test", S_OK},
        {L"no prefix", UsersDn, E_ADS_BAD_PATHNAME},
        {L"other provider", L"WinNT://samdom/Administrator", E_ADS_BAD_PATHNAME},
        {L"lower-case prefix", L"ldap://CN=Users,DC=samdom,DC=test", E_ADS_BAD_PATHNAME},
        {L"prefix only", L"LDAP://", E_ADS_BAD_PATHNAME},
        {L"server only", L"LDAP://" + server + L"/", E_ADS_BAD_PATHNAME},
        {L"component without =", L"LDAP://CN=Users,samdom,DC=test", E_ADS_BAD_PATHNAME},
        {L"empty component", L"LDAP://CN=Users,,DC=test", E_ADS_BAD_PATHNAME},
        {L"trailing backslash", L"LDAP://CN=Users\\", E_ADS_BAD_PATHNAME},
        {L"unclosed quote", L"LDAP://CN=\"Users,DC=samdom,DC=test", E_ADS_BAD_PATHNAME},
        {L"bad port", L"LDAP://" + server + L":0/" + UsersDn, E_ADS_BAD_PATHNAME},
        {L"port not a number", L"LDAP://" + server + L":ldap/" + UsersDn, E_ADS_BAD_PATHNAME},
        {L"missing object", ServerlessPath(L"CN=NoSuchObject,DC=samdom,DC=test"), HRESULT(0x80072030)},
        {L"missing object with server", ServerPath(L"CN=NoSuchObject,CN=Users,DC=samdom,DC=test"),
         HRESULT(0x80072030)},
        {L"DN outside every partition", ServerlessPath(L"DC=example,DC=com"), HRESULT(0x80072030)},
    };
    for (const auto& row : rows) {
        Scoped::ComPtr<IADs> object;
        HRESULT hr = Bind(row.path, IID_IADs, object);
        EXPECT_EQ(row.expected, hr) << Narrow(row.name) << ": " << Narrow(row.path);
        EXPECT_EQ(SUCCEEDED(row.expected), object != nullptr) << Narrow(row.name);
    }
}

TEST(ProviderBind, NullArgumentsAreRefused) {
    void* object = nullptr;
    EXPECT_EQ(E_ADS_BAD_PATHNAME, ::ADsGetObject(nullptr, IID_IADs, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_ADS_BAD_PARAMETER, ::ADsGetObject(L"LDAP://RootDSE", IID_IADs, nullptr));
}

TEST(ProviderBind, MissingObjectRecordsTheServersAnswer) {
    REQUIRE_FOREST();
    const std::wstring missing = L"CN=NoSuchObject,DC=samdom,DC=test";
    ::ADsSetLastError(0, L"", L"");
    Scoped::ComPtr<IADs> object;
    ASSERT_EQ(HRESULT(0x80072030), Bind(ServerlessPath(missing), IID_IADs, object));
    const LastError error = ProviderError(ERROR_DS_NO_SUCH_OBJECT);
    // The text is the server's own: ldapsearch shows the same as its
    // "Additional information".
    const TestSupport::ForestSearch search =
        TestSupport::SearchForest("ldapsearch", Narrow(missing), "base", "(objectClass=*)", "1.1");
    ASSERT_EQ(32, search.status) << search.output;
    const std::string label = "Additional information: ";
    size_t at = search.output.find(label);
    ASSERT_NE(std::string::npos, at) << search.output;
    std::string serverText = search.output.substr(at + label.size());
    serverText = serverText.substr(0, serverText.find('\n'));
    EXPECT_FALSE(serverText.empty());
    EXPECT_EQ(Widen(serverText), error.text);
}

TEST(ProviderBind, InterfacesByObjectKind) {
    REQUIRE_FOREST();
    const struct {
        const wchar_t* path;
        const IID* iid;
        HRESULT expected;
    } rows[] = {
        {L"LDAP://CN=Users,DC=samdom,DC=test", &IID_IADs, S_OK},
        {L"LDAP://CN=Users,DC=samdom,DC=test", &IID_IADsContainer, S_OK},
        {L"LDAP://CN=Users,DC=samdom,DC=test", &IID_IDirectorySearch, S_OK},
        {L"LDAP://CN=Users,DC=samdom,DC=test", &IID_IDispatch, S_OK},
        {L"LDAP://CN=Users,DC=samdom,DC=test", &IID_IUnknown, S_OK},
        {L"LDAP://CN=Users,DC=samdom,DC=test", &IID_IADsUser, E_NOINTERFACE},
        {L"LDAP://CN=Users,DC=samdom,DC=test", &IID_IDirectoryObject, E_NOINTERFACE},
        {L"LDAP://RootDSE", &IID_IADs, S_OK},
        {L"LDAP://RootDSE", &IID_IDispatch, S_OK},
        {L"LDAP://RootDSE", &IID_IADsContainer, E_NOINTERFACE},
        {L"LDAP://RootDSE", &IID_IDirectorySearch, E_NOINTERFACE},
    };
    for (const auto& row : rows) {
        IUnknown* object = reinterpret_cast<IUnknown*>(1);
        HRESULT hr = ::ADsGetObject(row.path, *row.iid, reinterpret_cast<void**>(&object));
        EXPECT_EQ(row.expected, hr) << Narrow(row.path);
        if (SUCCEEDED(hr)) {
            ASSERT_NE(nullptr, object);
            // The same object answers for IADs whatever it was bound as.
            Scoped::ComPtr<IADs> ads;
            EXPECT_EQ(S_OK, object->QueryInterface(IID_IADs, reinterpret_cast<void**>(ads.GetAddressOf())));
            object->Release();
        } else {
            EXPECT_EQ(nullptr, object) << "a failed bind leaves the out-parameter null";
        }
    }
}

TEST(ProviderPaths, OwnAndParentPathWithAndWithoutServer) {
    REQUIRE_FOREST();
    const std::wstring server = TheForest().server;
    const std::wstring dc1 =
        L"CN=DC1,CN=Servers,CN=Default-First-Site-Name,CN=Sites,CN=Configuration,DC=samdom,DC=test";
    // Each object reports the path it was bound with as its own.
    const struct {
        std::wstring bound;
        std::wstring parent;
    } rows[] = {
        {L"LDAP://CN=Users,DC=samdom,DC=test", L"LDAP://DC=samdom,DC=test"},
        {L"LDAP://" + server + L"/CN=Users,DC=samdom,DC=test", L"LDAP://" + server + L"/DC=samdom,DC=test"},
        {L"LDAP://CN=NTDS Settings," + dc1, L"LDAP://" + dc1},
        {L"LDAP://DC=samdom,DC=test", L"LDAP://DC=test"},
        {L"LDAP://RootDSE", L"LDAP:"},
        {L"LDAP://" + server + L"/RootDSE", L"LDAP:"},
    };
    for (const auto& row : rows) {
        Scoped::ComPtr<IADs> object;
        ASSERT_EQ(S_OK, Bind(row.bound, IID_IADs, object)) << Narrow(row.bound);
        Scoped::Bstr path, parent;
        ASSERT_EQ(S_OK, object->get_ADsPath(path.out()));
        EXPECT_EQ(row.bound, path.get());
        ASSERT_EQ(S_OK, object->get_Parent(parent.out()));
        EXPECT_EQ(row.parent, parent.get());
        // The parent path binds as it stands.
        if (row.parent != L"LDAP:" && row.parent != L"LDAP://DC=test") {
            Scoped::ComPtr<IADs> parentObject;
            EXPECT_EQ(S_OK, Bind(parent.get(), IID_IADs, parentObject)) << Narrow(parent.get());
        }
    }
    Scoped::ComPtr<IADs> object;
    ASSERT_EQ(S_OK, Bind(L"LDAP://RootDSE", IID_IADs, object));
    EXPECT_EQ(E_ADS_BAD_PARAMETER, object->get_ADsPath(nullptr));
    EXPECT_EQ(E_ADS_BAD_PARAMETER, object->get_Parent(nullptr));
}

TEST(ProviderPaths, EscapedCommaAndSlashInNames) {
    REQUIRE_FOREST();
    // An RDN with an escaped comma and a slash: the parent split must not
    // cut inside the name, and "/" travels as "\/" in an ADsPath only.
    std::wstring cn = UniqueName(L"Comma\\, and\\/slash ");
    Scoped::ComPtr<IADs> object = CreateUnder(UsersDn, L"container", L"CN=" + cn);
    ASSERT_TRUE(object);
    ASSERT_EQ(S_OK, object->SetInfo());

    std::wstring expectedPath = L"LDAP://CN=" + cn + L",CN=Users,DC=samdom,DC=test";
    Scoped::Bstr path, parent;
    ASSERT_EQ(S_OK, object->get_ADsPath(path.out()));
    EXPECT_EQ(expectedPath, path.get());
    ASSERT_EQ(S_OK, object->get_Parent(parent.out()));
    EXPECT_EQ(L"LDAP://CN=Users,DC=samdom,DC=test", std::wstring(parent.get()));

    // The directory holds the name with a bare slash, read back by ldapsearch.
    std::string plainCn = Narrow(cn);
    for (size_t at; (at = plainCn.find("\\/")) != std::string::npos;) plainCn.replace(at, 2, "/");
    for (size_t at; (at = plainCn.find("\\,")) != std::string::npos;) plainCn.replace(at, 2, ",");
    EXPECT_EQ(std::vector<std::string>{plainCn},
              TestSupport::Values(LdapEntries(UsersDn, "one", "(cn=" + plainCn + ")", "cn"), "cn"));

    // And the reported path binds back to the same object.
    Scoped::ComPtr<IADs> again;
    EXPECT_EQ(S_OK, Bind(path.get(), IID_IADs, again));
}
