#include "tests/program/Agent.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace ProgramTest {
namespace {

std::wstring RequestDir() {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"PROGRAM_TEST_REQUESTS", buffer, MAX_PATH);
    return (n > 0 && n < MAX_PATH) ? std::wstring(buffer, n) : std::wstring();
}

std::string ReadWhole(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

bool AgentAvailable() { return !RequestDir().empty(); }

AgentReply AskAgent(const std::string& request, unsigned timeoutMs) {
    static unsigned counter = 0;
    const std::wstring dir = RequestDir();
    if (dir.empty()) return {-1, "no agent: PROGRAM_TEST_REQUESTS is not set"};

    const std::wstring base = dir + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++counter);
    // Written under another name and renamed, so the agent never reads half a line.
    {
        std::ofstream out((base + L".part").c_str(), std::ios::binary);
        out << request << "\n";
    }
    if (!MoveFileW((base + L".part").c_str(), (base + L".req").c_str()))
        return {-1, "cannot hand the request to the agent"};

    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        const std::string rc = ReadWhole(base + L".rc");
        if (!rc.empty()) {
            AgentReply reply{std::atoi(rc.c_str()), ReadWhole(base + L".out")};
            DeleteFileW((base + L".rc").c_str());
            DeleteFileW((base + L".out").c_str());
            return reply;
        }
        Sleep(50);
    }
    return {-1, "no answer from the agent to: " + request};
}

int SchemaCount(const std::string& name) {
    const AgentReply reply = AskAgent("schema-count " + name);
    if (reply.status != 0) return -1;
    return std::atoi(reply.output.c_str());
}

void Screenshot(const std::string& name) {
    const AgentReply reply = AskAgent("screenshot " + name);
    if (reply.status != 0)
        std::fprintf(stderr, "screenshot %s failed: %s\n", name.c_str(), reply.output.c_str());
}

}  // namespace ProgramTest
