#include "tests/support/ProviderTest.h"

#include <objbase.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace ProviderTest {

const Forest& TheForest() {
    static const Forest forest = [] {
        Forest f;
        f.server = TestSupport::EnvironmentValue(L"WINEADSI_SERVER");
        f.user = TestSupport::EnvironmentValue(L"WINEADSI_USER");
        f.password = TestSupport::EnvironmentValue(L"WINEADSI_PASSWORD");
        f.runDir = Narrow(TestSupport::EnvironmentValue(L"FOREST_RUN_DIR"));
        f.script = Narrow(TestSupport::EnvironmentValue(L"FOREST_SCRIPT"));
        return f;
    }();
    return forest;
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

std::vector<std::string> OperationLog::Lines() const {
    std::ifstream in(Narrow(m_path));
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::vector<std::string> OperationLog::Operations() const {
    std::vector<std::string> ops;
    for (const std::string& line : Lines()) ops.push_back(line.substr(0, line.find(' ')));
    return ops;
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
