// The DLL loads of one process, read from the trace that Wine's loader
// writes when the process runs with kLoadTraceSettings in WINEDEBUG
// (tests/support/session.sh keeps them in the session's stderr.log): what
// was loaded, from where, at whose request, and along which search path.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace ProgramTest {

extern const wchar_t kLoadTraceSettings[];

struct DllLoad {
    std::string name;    // the file name, in lower case
    std::string path;    // the file that was mapped
    std::string who;     // the import, DllMain or delay-load that asked for it, or the process's code
    std::string search;  // the search path of the request; "(null)" for the loader's default
    bool atStart;        // before any DLL's initialisation: the chain of the static imports
};

// The loads of process `pid` in the trace text, in their order.
std::vector<DllLoad> LoadsOf(const std::string& trace, DWORD pid);

// How much the session's trace file holds: a later run's lines come after
// that, and Wine may give a later process an id that an earlier one had.
size_t SessionTraceSize();

// The session's trace file from `from` on, once the lines of `pid` are
// complete (its process detached from ntdll.dll) or after `timeoutMs`.
std::string SessionTrace(DWORD pid, size_t from, DWORD timeoutMs);

}  // namespace ProgramTest
