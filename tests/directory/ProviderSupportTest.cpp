#include "tests/directory/ProviderTest.h"

#include <objbase.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace ProviderTest {

namespace {

std::wstring Environment(const wchar_t* name) {
    wchar_t buffer[4096];
    DWORD n = ::GetEnvironmentVariableW(name, buffer, 4096);
    return n > 0 && n < 4096 ? std::wstring(buffer, n) : std::wstring();
}

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

bool ReadWholeFile(const std::string& windowsPath, std::string& content) {
    std::ifstream in(windowsPath, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    content = text.str();
    return true;
}

}  // namespace

const Forest& TheForest() {
    static const Forest forest = [] {
        Forest f;
        f.server = Environment(L"WINEADSI_SERVER");
        f.user = Environment(L"WINEADSI_USER");
        f.password = Environment(L"WINEADSI_PASSWORD");
        f.runDir = Narrow(Environment(L"FOREST_RUN_DIR"));
        f.script = Narrow(Environment(L"FOREST_SCRIPT"));
        return f;
    }();
    return forest;
}

std::string Narrow(const std::wstring& text) {
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                  nullptr);
    std::string out(n, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring Widen(const std::string& text) {
    int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

Setting::Setting(const wchar_t* name, const std::wstring& value) : m_name(name) {
    wchar_t old[1024];
    DWORD n = ::GetEnvironmentVariableW(name, old, 1024);
    m_had = n > 0 && n < 1024;
    if (m_had) m_old.assign(old, n);
    ::SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str());
}

Setting::~Setting() { ::SetEnvironmentVariableW(m_name, m_had ? m_old.c_str() : nullptr); }

// Wine starts a Linux program from CreateProcess but hands back a handle
// that cannot be waited on, so the script reports its end through a file
// that it renames into place last.
int RunUnix(const std::string& command, std::string* output) {
    static std::atomic<int> counter{0};
    std::string base = "/tmp/provider-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
                       std::to_string(counter++);
    std::string script = "{ " + command + "\n} >" + base + ".out 2>&1; echo $? >" + base + ".rc.part; mv " +
                         base + ".rc.part " + base + ".rc";
    // Windows command-line rules: the single-quoted script must reach sh as
    // one argument, so wrap it in double quotes and escape those inside.
    std::wstring quoted = L"/bin/sh -c \"";
    for (wchar_t c : Widen(script)) {
        if (c == L'"') quoted += L'\\';
        quoted += c;
    }
    quoted += L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, &quoted[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    Scoped::Handle processHandle(process.hProcess), threadHandle(process.hThread);

    std::string windowsBase = "Z:" + base;
    std::string rcText;
    for (int waited = 0; waited < 120000 && !ReadWholeFile(windowsBase + ".rc", rcText); waited += 50) ::Sleep(50);
    std::string out;
    ReadWholeFile(windowsBase + ".out", out);
    ::DeleteFileA((windowsBase + ".out").c_str());
    ::DeleteFileA((windowsBase + ".rc").c_str());
    if (output) *output = out;
    if (rcText.empty()) return -1;
    return std::atoi(rcText.c_str());
}

int LdapSearchStatus(const std::wstring& base, const char* scope, const std::string& filter,
                     const std::string& attributes, std::string& output) {
    const Forest& forest = TheForest();
    std::string command = "ldapsearch -x -LLL -o ldif-wrap=no -H ldap://" + Narrow(forest.server) + " -D " +
                          ShellQuote(Narrow(forest.user)) + " -w " + ShellQuote(Narrow(forest.password)) +
                          " -b " + ShellQuote(Narrow(base)) + " -s " + scope + " " + ShellQuote(filter) + " " +
                          attributes;
    return RunUnix(command, &output);
}

std::string LdapSearch(const std::wstring& base, const char* scope, const std::string& filter,
                       const std::string& attributes) {
    std::string output;
    int status = LdapSearchStatus(base, scope, filter, attributes, output);
    if (status == 32) return std::string();
    EXPECT_EQ(0, status) << "ldapsearch failed: " << output;
    return output;
}

std::vector<std::string> LdifValues(const std::string& ldif, const std::string& attribute) {
    std::vector<std::string> values;
    std::istringstream lines(ldif);
    std::string line;
    std::string prefix = attribute + ": ";
    while (std::getline(lines, line)) {
        if (_strnicmp(line.c_str(), prefix.c_str(), prefix.size()) == 0) values.push_back(line.substr(prefix.size()));
    }
    return values;
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

namespace {

std::wstring EscapeSlashes(const std::wstring& dn) {
    std::wstring out;
    for (wchar_t c : dn) {
        if (c == L'/') out += L'\\';
        out += c;
    }
    return out;
}

}  // namespace

std::wstring ServerPath(const std::wstring& dn) { return L"LDAP://" + TheForest().server + L"/" + EscapeSlashes(dn); }
std::wstring ServerlessPath(const std::wstring& dn) { return L"LDAP://" + EscapeSlashes(dn); }

}  // namespace ProviderTest

// The program calls ADSI from single-threaded apartments; so do the tests.
int main(int argc, char** argv) {
    ::CoInitialize(nullptr);
    ::testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    ::CoUninitialize();
    return result;
}
