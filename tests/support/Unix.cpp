#include "tests/support/Unix.h"

#include "tests/support/Text.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace TestSupport {

bool ReadWholeFile(const std::string& windowsPath, std::string& content) {
    std::ifstream in(windowsPath, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    content = text.str();
    return true;
}

// For a Linux program, Wine's CreateProcessW succeeds without filling in
// PROCESS_INFORMATION: what comes back is whatever its stack held (seen
// here: hProcess 0, hThread 0x49, ids that name no process). There is
// nothing to wait on, so the script reports its end through a file that it
// renames into place last, and nothing in that structure is closed: the
// handle value 0x49 is this process's 0x48, which was this thread's desktop,
// and every click the driver sent after it was closed went nowhere.
int RunUnix(const std::string& command, std::string* output, DWORD timeoutMs) {
    // Windows process ids repeat across Wine prefixes that run side by
    // side, so the clock makes the name unique on the machine.
    static std::atomic<int> counter{0};
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    const std::string base = "/tmp/wine-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
                             std::to_string(now.QuadPart) + "-" + std::to_string(counter++);
    const std::string script = "{ " + command + "\n} </dev/null >" + base + ".out 2>&1; echo $? >" + base +
                               ".rc.part; mv " + base + ".rc.part " + base + ".rc";
    // Windows command-line rules: the script must reach sh as one argument,
    // so wrap it in double quotes and escape those inside.
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

    const std::string windowsBase = "Z:" + base;
    std::string rcText;
    const DWORD start = ::GetTickCount();
    while (!ReadWholeFile(windowsBase + ".rc", rcText) && ::GetTickCount() - start < timeoutMs) ::Sleep(50);
    std::string out;
    ReadWholeFile(windowsBase + ".out", out);
    ::DeleteFileA((windowsBase + ".out").c_str());
    ::DeleteFileA((windowsBase + ".rc").c_str());
    if (output) *output = out;
    if (rcText.empty()) return -1;
    return std::atoi(rcText.c_str());
}

}  // namespace TestSupport
