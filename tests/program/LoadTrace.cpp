#include "tests/program/LoadTrace.h"

#include "tests/support/Environment.h"
#include "tests/support/Text.h"
#include "tests/support/Unix.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>

namespace ProgramTest {

// Process and thread ids on every line; the loader's mappings, and its
// requests, imports, delay-loads and DllMain calls.
const wchar_t kLoadTraceSettings[] = L"+pid,+loaddll,+module";

namespace {

// The first L"..." on the line from `from` on, as Wine escapes it.
std::string Quoted(const std::string& line, size_t from = 0) {
    std::string text;
    const size_t start = line.find("L\"", from);
    for (size_t i = start == std::string::npos ? line.size() : start + 2; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) ++i;
        text += line[i];
    }
    return text;
}

std::string FileName(const std::string& path) {
    return TestSupport::Lower(path.substr(path.find_last_of("\\/") + 1));
}

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// The hexadecimal address that follows `after` on the line.
std::string AddressAfter(const std::string& line, const char* after) {
    const size_t at = line.find(after);
    if (at == std::string::npos) return {};
    const size_t start = at + std::strlen(after);
    return line.substr(start, line.find_first_not_of("0123456789abcdefABCDEF", start) - start);
}

struct Request {
    std::string name;
    std::string search;
    std::string delayLoadOf;
};

struct Thread {
    std::vector<Request> requests;      // the loads in progress, outermost first
    std::vector<std::string> dllMains;  // the DllMain calls in progress
    std::string delayLoadOf;            // set by a delay-load resolution, for the very next line
};

std::string WhoAsked(const Thread& thread) {
    const auto& requests = thread.requests;
    if (requests.size() >= 2) return "import of " + requests[requests.size() - 2].name;
    if (!requests.empty() && !requests.back().delayLoadOf.empty())
        return "delay-load of " + requests.back().delayLoadOf;
    if (!thread.dllMains.empty()) return "DllMain of " + thread.dllMains.back();
    return "the process's code (the exe, or a DLL function that it called)";
}

std::string TracePath() { return TestSupport::Narrow(TestSupport::WindowsPathFrom(L"SESSION_DIR")) + "\\stderr.log"; }

std::string PidPrefix(DWORD pid) {
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%04lx:", static_cast<unsigned long>(pid));
    return prefix;
}

}  // namespace

std::vector<DllLoad> LoadsOf(const std::string& trace, DWORD pid) {
    const std::string prefix = PidPrefix(pid);
    std::map<std::string, std::string> modules;  // base address -> file name
    std::map<std::string, Thread> threads;
    std::vector<DllLoad> loads;
    bool initialising = false;
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
        const size_t tidEnd = line.find(':', prefix.size());
        if (line.compare(0, prefix.size(), prefix) != 0 || tidEnd == std::string::npos) continue;
        Thread& thread = threads[line.substr(prefix.size(), tidEnd - prefix.size())];
        const std::string event = line.substr(tidEnd + 1);
        const std::string delayLoadOf = thread.delayLoadOf;
        thread.delayLoadOf.clear();
        if (Has(event, ":load_dll looking for ")) {
            const size_t in = event.find("\" in ");
            const std::string search = in == std::string::npos ? "" : event.substr(in + 5);
            thread.requests.push_back(
                {FileName(Quoted(event)), Has(search, "L\"") ? Quoted(search) : search, delayLoadOf});
        } else if (Has(event, ":load_dll Found ") || Has(event, ":load_dll Loaded module ") ||
                   Has(event, ":load_dll Failed to load module ")) {
            if (!thread.requests.empty()) thread.requests.pop_back();
        } else if (Has(event, ":build_module Loaded ")) {
            DllLoad load{FileName(Quoted(event)), Quoted(event), WhoAsked(thread),
                         thread.requests.empty() ? "" : thread.requests.back().search, !initialising};
            modules[AddressAfter(event, "\" at ")] = load.name;
            loads.push_back(load);
        } else if (Has(event, ":LdrResolveDelayLoadedAPI (")) {
            thread.delayLoadOf = modules[AddressAfter(event, "(")];
        } else if (Has(event, ":process_attach ")) {
            initialising = true;
        } else if (Has(event, ",PROCESS_ATTACH,") && Has(event, ":MODULE_InitDLL (")) {
            if (Has(event, " - CALL"))
                thread.dllMains.push_back(FileName(Quoted(event)));
            else if (Has(event, " - RETURN") && !thread.dllMains.empty())
                thread.dllMains.pop_back();
        }
    }
    return loads;
}

size_t SessionTraceSize() {
    std::string text;
    TestSupport::ReadWholeFile(TracePath(), text);
    return text.size();
}

std::string SessionTrace(DWORD pid, size_t from, DWORD timeoutMs) {
    const std::string detached = PidPrefix(pid);
    std::string text;
    const DWORD start = ::GetTickCount();
    do {
        TestSupport::ReadWholeFile(TracePath(), text);
        text.erase(0, std::min(from, text.size()));
        // The process's last lines: ntdll.dll detaching as it ends.
        for (size_t at = text.find("L\"ntdll.dll\",PROCESS_DETACH"); at != std::string::npos;
             at = text.find("L\"ntdll.dll\",PROCESS_DETACH", at + 1)) {
            const size_t begin = text.rfind('\n', at) + 1;
            if (text.compare(begin, detached.size(), detached) == 0) return text;
        }
        ::Sleep(200);
    } while (::GetTickCount() - start < timeoutMs);
    return text;
}

}  // namespace ProgramTest
