// The extended error (one record per thread, truncated to the caller's
// buffers), the helpers ADsBuildVarArrayStr and AllocADsMem, binds under
// other credentials, one session per server, and binds and Gets on other
// threads going on while one hangs.
#include "tests/support/AdAnswers.h"
#include "tests/support/ProviderTest.h"

#include <winsock2.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

using namespace ProviderTest;
using TestSupport::ReadAdAnswer;

namespace {

// A server on loopback that takes connections and never answers, as a DC
// stopped with SIGSTOP does, or answers a bind with the result it is given.
// Closing it breaks every connection it took.
class SilentServer {
public:
    SilentServer() {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
        m_listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
        int size = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
            ::listen(m_listener, 4) == 0 &&
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port = ::ntohs(address.sin_port);
    }
    ~SilentServer() {
        Close();
        ::WSACleanup();
    }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    // True once a client has connected within the time.
    bool Accept(long seconds) {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(m_listener, &ready);
        timeval wait = {seconds, 0};
        if (::select(0, &ready, nullptr, nullptr, &wait) != 1) return false;
        m_client = ::accept(m_listener, nullptr, nullptr);
        return m_client != INVALID_SOCKET;
    }
    // Reads the client's bind request and answers it with code and text.
    bool AnswerBind(unsigned char code, const std::string& text) {
        unsigned char request[512];
        const int got = ::recv(m_client, reinterpret_cast<char*>(request), sizeof request, 0);
        // SEQUENCE, its length (short or long form), then the message id.
        const int id = 2 + ((request[1] & 0x80) ? (request[1] & 0x7F) : 0);
        if (got < id + 3 || request[id] != 0x02) return false;
        const std::string messageId(reinterpret_cast<char*>(request) + id, 2 + request[id + 1]);
        const std::string result = Element(0x61, Element(0x0A, std::string(1, static_cast<char>(code))) +
                                                      Element(0x04, "") + Element(0x04, text));
        const std::string answer = Element(0x30, messageId + result);
        return ::send(m_client, answer.data(), static_cast<int>(answer.size()), 0) ==
               static_cast<int>(answer.size());
    }
    void Close() {
        for (SOCKET* s : {&m_client, &m_listener}) {
            if (*s != INVALID_SOCKET) ::closesocket(*s);
            *s = INVALID_SOCKET;
        }
    }

    unsigned short port = 0;

private:
    static std::string Element(unsigned char tag, const std::string& content) {
        std::string length = content.size() < 0x80 ? std::string(1, static_cast<char>(content.size()))
                                                   : std::string{'\x81', static_cast<char>(content.size())};
        return static_cast<char>(tag) + length + content;
    }

    SOCKET m_listener = INVALID_SOCKET;
    SOCKET m_client = INVALID_SOCKET;
};

// A thread that hangs in a call until released: on every way out of the
// test, an ASSERT's early return included, it is released and joined, as a
// thread still joinable when it goes out of scope would end the whole
// program and lose every later test.
class HangingThread {
public:
    HangingThread(std::function<void()> call, std::function<void()> release)
        : m_release(std::move(release)), m_thread(std::move(call)) {}
    ~HangingThread() { Release(); }
    HangingThread(const HangingThread&) = delete;
    HangingThread& operator=(const HangingThread&) = delete;

    void Release() {
        if (!m_thread.joinable()) return;
        m_release();
        m_thread.join();
    }

private:
    std::function<void()> m_release;
    std::thread m_thread;
};

// Starts call on thread; true when it returns within 20 s, while another
// thread hangs. The caller joins thread.
bool ReturnsMeanwhile(std::thread& thread, const std::function<void()>& call) {
    auto done = std::make_shared<Scoped::Handle>(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    thread = std::thread([call, done] {
        call();
        ::SetEvent(done->get());
    });
    return ::WaitForSingleObject(done->get(), 20000) == WAIT_OBJECT_0;
}

// tools/ldap-proxy.py between the provider and the forest on a loopback
// port of its own, stalling one request for good; ended by its pid.
class StallingProxy {
public:
    explicit StallingProxy(int request) {
        // A port that was free a moment ago.
        port = SilentServer().port;
        m_log = "/tmp/" + Narrow(UniqueName(L"stalling-proxy-")) + ".log";
        const std::string script = TheForest().script;
        const std::string tools = script.substr(0, script.rfind('/'));
        std::string pid;
        // Without the descriptors that Wine hands its Unix children, which
        // would keep this start from completing while the proxy lives; bounded
        // by timeout, so that a run that dies here leaves no proxy behind.
        RunUnix("/usr/bin/python3 -c 'import os, sys; os.closerange(3, 65536); os.execvp(sys.argv[1], sys.argv[1:])' "
                "timeout 300 /usr/bin/python3 " + ShellQuote(tools + "/ldap-proxy.py") + " --listen 127.0.0.1:" +
                    std::to_string(port) + " --target " + Narrow(TheForest().server) + " --log " + m_log +
                    " --fault stall --at " + std::to_string(request) + " </dev/null >" + m_log +
                    ".out 2>&1 & echo $!",
                &pid, 20000);
        m_pid = std::atoi(pid.c_str());
        ready = m_pid > 0 && LogShows("listening on");
    }
    ~StallingProxy() {
        Stop();
        RunUnix("rm -f " + m_log + " " + m_log + ".out");
    }
    StallingProxy(const StallingProxy&) = delete;
    StallingProxy& operator=(const StallingProxy&) = delete;

    // True once the log has the text, within 10 s.
    bool LogShows(const std::string& text) {
        const std::string found = "grep -q " + ShellQuote(text) + " " + m_log;
        return RunUnix("for i in $(seq 100); do " + found + " && break; sleep 0.1; done; " + found) == 0;
    }
    // Ends the proxy, which breaks the connections it holds.
    void Stop() {
        if (m_pid > 0) RunUnix("kill " + std::to_string(m_pid));
        m_pid = 0;
    }

    unsigned short port = 0;
    bool ready = false;

private:
    std::string m_log;
    int m_pid = 0;
};

}  // namespace

TEST(ProviderLastError, RecordIsPerThreadAndTruncatedToTheBuffers) {
    ::ADsSetLastError(ERROR_DS_BUSY, L"0000200E: busy here", L"LDAP Provider");
    DWORD code = 0;
    wchar_t text[8], provider[5];
    ASSERT_EQ(S_OK, ::ADsGetLastError(&code, text, 8, provider, 5));
    EXPECT_EQ(DWORD(ERROR_DS_BUSY), code);
    EXPECT_EQ(std::wstring(L"0000200"), text);
    EXPECT_EQ(std::wstring(L"LDAP"), provider);

    // Null buffers or zero lengths still give the code.
    code = 0;
    EXPECT_EQ(S_OK, ::ADsGetLastError(&code, nullptr, 0, nullptr, 0));
    EXPECT_EQ(DWORD(ERROR_DS_BUSY), code);
    EXPECT_EQ(E_ADS_BAD_PARAMETER, ::ADsGetLastError(nullptr, text, 8, provider, 5));

    // Another thread has a record of its own, empty until it sets one.
    LastError other;
    std::thread([&] {
        other = ReadLastError();
        ::ADsSetLastError(ERROR_DS_UNAVAILABLE, L"other thread", L"x");
    }).join();
    EXPECT_EQ(DWORD(ERROR_SUCCESS), other.code);
    EXPECT_EQ(L"", other.text);
    EXPECT_EQ(L"", other.provider);
    LastError mine = ReadLastError();
    EXPECT_EQ(DWORD(ERROR_DS_BUSY), mine.code);
    EXPECT_EQ(L"0000200E: busy here", mine.text);

    // Null texts clear the texts.
    ::ADsSetLastError(ERROR_MORE_DATA, nullptr, nullptr);
    mine = ReadLastError();
    EXPECT_EQ(DWORD(ERROR_MORE_DATA), mine.code);
    EXPECT_EQ(L"", mine.text);
    EXPECT_EQ(L"", mine.provider);
}

// The code of the extended error: the number at the front of the server's
// text where it has one, as "ADsGetLastError function" shows (8305 for
// "00002071: UpdErr: ..."), else the Win32 code of the LDAP result. The
// first texts are Windows AD's own, as the LDAP proxy gives them.
TEST(ProviderLastError, CodeIsTheOneAtTheFrontOfTheServersText) {
    struct Row {
        unsigned char ldap;
        std::string text;
        HRESULT hr;
        DWORD code;
    };
    const Row rows[] = {
        {68, ReadAdAnswer("entry-exists").text, HRESULT(0x80071392), 8305},
        {50, ReadAdAnswer("insufficient-rights").text, HRESULT(0x80070005), ERROR_ACCESS_DENIED},
        {53, ReadAdAnswer("oid-taken").text, HRESULT(0x80072035), 0x20BB},
        {32, ReadAdAnswer("no-object", "{match}", "DC=x").text, HRESULT(0x80072030), ERROR_DS_OBJ_NOT_FOUND},
        // No number at the front: the result's Win32 code.
        {53, "schema_data_add: we are not master: reject add request", HRESULT(0x80072035),
         ERROR_DS_UNWILLING_TO_PERFORM},
        {53, "2035: too short", HRESULT(0x80072035), ERROR_DS_UNWILLING_TO_PERFORM},
        {53, "0000203G: not hex", HRESULT(0x80072035), ERROR_DS_UNWILLING_TO_PERFORM},
        {68, "", HRESULT(0x80071392), ERROR_OBJECT_ALREADY_EXISTS},
    };
    for (const Row& row : rows) {
        SilentServer server;
        ASSERT_NE(0, server.port);
        std::thread answer([&] { EXPECT_TRUE(server.Accept(30) && server.AnswerBind(row.ldap, row.text)); });
        Scoped::ComPtr<IADs> object;
        EXPECT_EQ(row.hr, Bind(L"LDAP://127.0.0.1:" + std::to_wstring(server.port) + L"/RootDSE", IID_IADs, object))
            << row.text;
        answer.join();
        const LastError error = ReadLastError();
        EXPECT_EQ(row.code, error.code) << row.text;
        EXPECT_EQ(Widen(row.text), error.text);
    }
}

TEST(ProviderHelpers, BuildVarArrayStr) {
    LPWSTR strings[] = {const_cast<LPWSTR>(L"first"), const_cast<LPWSTR>(L""), const_cast<LPWSTR>(L"third")};
    for (DWORD count : {0u, 1u, 3u}) {
        Scoped::Variant value;
        ASSERT_EQ(S_OK, ::ADsBuildVarArrayStr(strings, count, value.get()));
        ASSERT_EQ(VT_ARRAY | VT_VARIANT, V_VT(value.get()));
        LONG lower = 1, upper = 0;
        ASSERT_EQ(S_OK, ::SafeArrayGetLBound(V_ARRAY(value.get()), 1, &lower));
        ASSERT_EQ(S_OK, ::SafeArrayGetUBound(V_ARRAY(value.get()), 1, &upper));
        EXPECT_EQ(0, lower);
        EXPECT_EQ(static_cast<LONG>(count) - 1, upper);
        for (LONG i = 0; i < static_cast<LONG>(count); ++i) {
            Scoped::Variant element;
            ASSERT_EQ(S_OK, ::SafeArrayGetElement(V_ARRAY(value.get()), &i, element.get()));
            ASSERT_EQ(VT_BSTR, V_VT(element.get()));
            EXPECT_EQ(std::wstring(strings[i]), V_BSTR(element.get()));
        }
    }
    EXPECT_EQ(E_ADS_BAD_PARAMETER, ::ADsBuildVarArrayStr(strings, 1, nullptr));
    Scoped::Variant value;
    EXPECT_EQ(E_ADS_BAD_PARAMETER, ::ADsBuildVarArrayStr(nullptr, 2, value.get()));
}

TEST(ProviderHelpers, AllocADsMemIsZeroedAndFreed) {
    auto* block = static_cast<unsigned char*>(::AllocADsMem(64));
    ASSERT_NE(nullptr, block);
    EXPECT_TRUE(std::all_of(block, block + 64, [](unsigned char b) { return b == 0; }));
    EXPECT_TRUE(::FreeADsMem(block));
    EXPECT_FALSE(::FreeADsMem(nullptr));
}

TEST(ProviderCredentials, RefusedBindsCarryTheirCodes) {
    REQUIRE_FOREST();
    struct Row {
        const wchar_t* name;
        std::wstring server, user, password, path;
        HRESULT expected;
        DWORD code;
    };
    const std::wstring s = TheForest().server, u = TheForest().user, p = TheForest().password;
    const std::wstring users = ServerlessPath(UsersDn);
    // A refused bind's text starts with "80090308: LdapErr: ...", as AD's does.
    const DWORD refusedBind = 0x80090308;
    const Row rows[] = {
        {L"wrong password", s, u, L"not-the-password", users, HRESULT(0x8007052E), refusedBind},
        {L"unknown user", s, L"nobody@samdom.test", p, users, HRESULT(0x8007052E), refusedBind},
        {L"no server for a serverless path", L"", u, p, users, HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN),
         ERROR_NO_SUCH_DOMAIN},
        {L"server named in the path", L"", u, p, ServerPath(UsersDn), S_OK, 0},
        {L"anonymous reads RootDSE", s, L"", L"", L"LDAP://RootDSE", S_OK, 0},
    };
    for (const Row& row : rows) {
        ScopedEnvironment server(L"WINEADSI_SERVER", row.server), user(L"WINEADSI_USER", row.user),
            password(L"WINEADSI_PASSWORD", row.password);
        ::ADsSetLastError(0, L"", L"");
        Scoped::ComPtr<IADs> object;
        EXPECT_EQ(row.expected, Bind(row.path, IID_IADs, object)) << Narrow(row.name);
        if (FAILED(row.expected)) {
            LastError error = ReadLastError();
            EXPECT_EQ(row.code, error.code) << Narrow(row.name);
            EXPECT_EQ(L"LDAP Provider", error.provider);
            EXPECT_FALSE(error.text.empty()) << Narrow(row.name);
        }
    }
}

TEST(ProviderCredentials, UserWithoutSchemaRightsIsDenied) {
    REQUIRE_FOREST_SCRIPT();
    std::wstring user = UniqueName(L"plain");
    const std::wstring password = L"Passw0rd-Plain1";
    ASSERT_EQ(0, TestSupport::Forest("adduser", Narrow(user) + " " + Narrow(password)));

    ScopedEnvironment asUser(L"WINEADSI_USER", user + L"@samdom.test"), withPassword(L"WINEADSI_PASSWORD", password);
    std::wstring name = UniqueName(L"providerDenied");
    Scoped::ComPtr<IADs> object = CreateUnder(SchemaDn, L"attributeSchema", L"CN=" + name);
    ASSERT_TRUE(object);
    ASSERT_EQ(S_OK, PutString(object.Get(), L"lDAPDisplayName", name.c_str()));

    ::ADsSetLastError(0, L"", L"");
    EXPECT_EQ(HRESULT(0x80070005), object->SetInfo());
    const LastError error = ProviderError(ERROR_ACCESS_DENIED);
    EXPECT_FALSE(error.text.empty());
    EXPECT_TRUE(LdapEntries(L"CN=" + name + L"," + SchemaDn, "base", "(objectClass=*)", "cn").empty());
}

TEST(ProviderSessions, OneBindPerServerWhileObjectsLive) {
    REQUIRE_FOREST();
    OperationLog log;
    {
        Scoped::ComPtr<IADs> root, users, sameServer;
        ASSERT_EQ(S_OK, Bind(L"LDAP://RootDSE", IID_IADs, root));
        ASSERT_EQ(S_OK, Bind(L"LDAP://CN=Users,DC=samdom,DC=test", IID_IADs, users));
        // The configured server written out, with the default port, is the
        // same server.
        ASSERT_EQ(S_OK, Bind(L"LDAP://" + TheForest().server + L":389/CN=Users,DC=samdom,DC=test", IID_IADs,
                             sameServer));
        EXPECT_EQ(1, log.Count("bind"));
        EXPECT_EQ(3, log.Count("search"));
    }
    // Everything released: the next bind opens a new session.
    Scoped::ComPtr<IADs> again;
    ASSERT_EQ(S_OK, Bind(L"LDAP://RootDSE", IID_IADs, again));
    EXPECT_EQ(2, log.Count("bind"));
}

TEST(ProviderSessions, ABindThatHangsHoldsUpNoOtherBind) {
    REQUIRE_FOREST();
    SilentServer silent;
    ASSERT_NE(0, silent.port);
    HRESULT hung = S_OK;
    HangingThread hanging(
        [&] {
            Scoped::ComPtr<IADs> object;
            hung = Bind(L"LDAP://127.0.0.1:" + std::to_wstring(silent.port) + L"/RootDSE", IID_IADs, object);
        },
        [&] { silent.Close(); });
    ASSERT_TRUE(silent.Accept(30)) << "the bind never reached the silent server";

    // Another thread binds to the live forest while the first one waits.
    HRESULT live = E_FAIL;
    std::thread other;
    EXPECT_TRUE(ReturnsMeanwhile(other, [&] {
        Scoped::ComPtr<IADs> object;
        live = Bind(L"LDAP://RootDSE", IID_IADs, object);
    })) << "a bind to the live server waited for the one that hangs";

    hanging.Release();
    other.join();
    EXPECT_EQ(S_OK, live);
    EXPECT_EQ(HRESULT(0x8007203A), hung) << "a connection broken during the bind";
}

TEST(ProviderSessions, ASchemaReadThatStallsHoldsUpNoOtherServersGet) {
    REQUIRE_FOREST_SCRIPT();
    // Through the proxy: the bind, the object's load, RootDSE's subschema
    // name, then the subschema's attribute types, which never come.
    StallingProxy proxy(4);
    ASSERT_TRUE(proxy.ready) << "the proxy did not start";
    Scoped::ComPtr<IADs> stalled, live;
    ASSERT_EQ(S_OK, Bind(L"LDAP://127.0.0.1:" + std::to_wstring(proxy.port) + L"/" + UsersDn, IID_IADs, stalled));
    ASSERT_EQ(S_OK, Bind(ServerlessPath(UsersDn), IID_IADs, live));
    Scoped::Bstr cn(L"cn");
    HRESULT stalledGet = S_OK;
    HangingThread first(
        [&] {
            Scoped::Variant value;
            stalledGet = stalled->Get(cn.get(), value.get());
        },
        [&] { proxy.Stop(); });
    ASSERT_TRUE(proxy.LogShows("stalled")) << "the schema read never reached the proxy";

    // The forest's own server answers meanwhile.
    HRESULT liveGet = E_FAIL;
    std::thread other;
    EXPECT_TRUE(ReturnsMeanwhile(other, [&] {
        Scoped::Variant value;
        liveGet = live->Get(cn.get(), value.get());
    })) << "a Get on another server waited for the stalled schema read";

    first.Release();
    other.join();
    EXPECT_EQ(S_OK, liveGet);
    EXPECT_EQ(HRESULT(0x8007203A), stalledGet) << "a connection broken during the schema read";
}
