// The exe runs elevated from wherever it was downloaded, so no DLL beside it
// or in the current directory may load into it at any moment of the
// process. A first whole run (the details, "&Setup", the final display,
// "&Exit") with Wine's loader traced gives every DLL that the process loads
// at run time. A DLL that leaves a marker when loaded (PlantedDll.cpp) is
// then put in both places under each of those names, made native-first so
// that Wine looks for it along the process's own search order, as Windows
// does for a DLL that is not a known one; a second whole run must leave no
// marker and map no planted file. PLANTING_EXE names the exe: the built one
// or the signed release.
#include "tests/program/DllOverrides.h"
#include "tests/program/ForestTest.h"
#include "tests/program/LoadTrace.h"
#include "tests/support/Environment.h"

#include <algorithm>
#include <cstdio>

namespace ProgramTest {
namespace {

const char kKnownDll[] = "one of Windows' KnownDLLs, which its loader maps from System32 only";

// The run-time loads that are not planted, and why. The first rows are the
// KnownDLLs of Windows 10 x64 (the registry's KnownDLLs list under
// HKLM\System\CurrentControlSet\Control\Session Manager). The others Wine
// loads itself in a way that Windows does not; the evidence is what their
// trace lines show, printed by this test on every run.
const struct {
    const char* name;
    const char* why;
} kNotPlanted[] = {
    {"advapi32.dll", kKnownDll}, {"clbcatq.dll", kKnownDll},  {"combase.dll", kKnownDll},
    {"comdlg32.dll", kKnownDll}, {"coml2.dll", kKnownDll},    {"difxapi.dll", kKnownDll},
    {"gdi32.dll", kKnownDll},    {"gdiplus.dll", kKnownDll},  {"imagehlp.dll", kKnownDll},
    {"imm32.dll", kKnownDll},    {"kernel32.dll", kKnownDll}, {"msctf.dll", kKnownDll},
    {"msvcrt.dll", kKnownDll},   {"normaliz.dll", kKnownDll}, {"nsi.dll", kKnownDll},
    {"ole32.dll", kKnownDll},    {"oleaut32.dll", kKnownDll}, {"psapi.dll", kKnownDll},
    {"rpcrt4.dll", kKnownDll},   {"sechost.dll", kKnownDll},  {"setupapi.dll", kKnownDll},
    {"shcore.dll", kKnownDll},   {"shell32.dll", kKnownDll},  {"shlwapi.dll", kKnownDll},
    {"user32.dll", kKnownDll},   {"wldap32.dll", kKnownDll},  {"ws2_32.dll", kKnownDll},
    {"uxtheme.dll",
     "Wine's own: looked for by bare name, the exe's folder first, from within Wine's "
     "COMCTL32.dll's DllMain, before any code of the exe runs; no exe can steer that load"},
    {"winex11.drv",
     "Wine's own: its X11 display driver, no Windows file, looked for by bare name, the exe's "
     "folder first, from within Wine's COMCTL32.dll's DllMain, before any code of the exe runs"},
    {"msimg32.dll",
     "Wine's own: the delay-load of Wine's uxtheme.dll, which looks along the loader's default "
     "path (\"(null)\", the exe's folder first) whatever SetDefaultDllDirectories set; the exe "
     "imports nothing from it"},
};

const char* NotPlantedBecause(const std::string& name) {
    for (const auto& row : kNotPlanted)
        if (name == row.name) return row.why;
    return nullptr;
}

std::string Described(const DllLoad& load) {
    return "  by " + load.who + ", from " + load.path + (load.search.empty() ? "" : ", search path " + load.search);
}

// An empty directory at that path (files of an earlier run removed).
void EmptyDirectory(const std::wstring& dir) {
    CreateDirectoryW(dir.c_str(), nullptr);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileW((dir + L"\\" + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// The markers that planted DLLs left in dir, as "name" lines.
std::string Markers(const std::wstring& dir) {
    std::string markers;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((dir + L"\\*.loaded").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return markers;
    do markers += Narrow(dir + L"\\" + found.cFileName) + "\n";
    while (FindNextFileW(search, &found));
    FindClose(search);
    return markers;
}

class Planting : public ForestTest {
protected:
    // One whole run of the exe with its loads traced: the details, "&Setup",
    // the final display and "&Exit".
    static std::vector<DllLoad> WholeRun(const std::wstring& exe, const std::wstring& currentDir) {
        ScopedEnvironment trace(L"WINEDEBUG", kLoadTraceSettings);
        const size_t from = SessionTraceSize();
        DWORD pid = 0;
        {
            Program program(exe, currentDir);
            pid = program.id();
            ExpectDetails(program);
            if (HasFatalFailure()) return {};
            program.Click(IDC_SETUP);
            EXPECT_TRUE(program.WaitForFinal(120000)) << "no final display after \"&Setup\"";
            EXPECT_TRUE(program.EndsWithCode2());
        }
        return LoadsOf(SessionTrace(pid, from, 15000), pid);
    }
};

TEST_F(Planting, NoDllBesideTheExeOrInTheCurrentDirectoryIsLoadedInAWholeRun) {
    const std::wstring planted = WindowsPathFrom(L"PLANTED_DLL");
    ASSERT_FALSE(planted.empty()) << "PLANTED_DLL is not set";
    const std::wstring built = WindowsPathFrom(L"PLANTING_EXE");
    ASSERT_FALSE(built.empty()) << "PLANTING_EXE is not set";

    wchar_t temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    const std::wstring root = std::wstring(temp) + L"schema-modify-planting";
    const std::wstring exeDir = root + L"\\exe", currentDir = root + L"\\current";
    for (const std::wstring& dir : {root, exeDir, currentDir}) EmptyDirectory(dir);
    const std::wstring exe = exeDir + L"\\schema-modify.exe";
    ASSERT_TRUE(CopyFileW(built.c_str(), exe.c_str(), FALSE));

    const std::vector<DllLoad> loads = WholeRun(exe, currentDir);
    if (HasFatalFailure()) return;
    std::vector<std::string> chain, names;
    for (const DllLoad& load : loads) {
        auto& list = load.atStart ? chain : names;
        if (std::find(list.begin(), list.end(), load.name) == list.end()) list.push_back(load.name);
    }
    std::printf("the chain of the static imports, not planted:");
    for (const std::string& name : chain) std::printf(" %s", name.c_str());
    std::printf("\nloaded at run time, with nothing planted:\n");

    std::vector<std::string> plantedNames;
    ProgramDllOverrides overrides;
    for (const std::string& name : names) {
        if (name == "schema-modify.exe" || std::find(chain.begin(), chain.end(), name) != chain.end()) continue;
        const char* why = NotPlantedBecause(name);
        std::printf("%s: %s\n", name.c_str(), why ? why : "planted beside the exe and in the current directory");
        for (const DllLoad& load : loads)
            if (load.name == name) std::printf("%s\n", Described(load).c_str());
        if (why) continue;
        plantedNames.push_back(name);
        const std::wstring file = Widen(name);
        ASSERT_TRUE(CopyFileW(planted.c_str(), (exeDir + L"\\" + file).c_str(), FALSE));
        ASSERT_TRUE(CopyFileW(planted.c_str(), (currentDir + L"\\" + file).c_str(), FALSE));
        ASSERT_TRUE(overrides.Set(file, L"native,builtin")) << "cannot make " << name << " native-first";
    }
    ASSERT_NE(plantedNames.end(), std::find(plantedNames.begin(), plantedNames.end(), "activeds.dll"))
        << "the trace shows no load of activeds.dll at run time";

    ASSERT_TRUE(AgentDoes("forest-fresh", 120000));
    std::string fromPlanted;
    for (const DllLoad& load : WholeRun(exe, currentDir)) {
        if (Lower(load.path).rfind(Lower(Narrow(root)), 0) != 0 || load.name == "schema-modify.exe") continue;
        std::printf("planted and loaded: %s\n%s\n", load.name.c_str(), Described(load).c_str());
        fromPlanted += load.name + " ";
    }
    EXPECT_EQ("", fromPlanted) << "planted DLLs that the loader mapped";
    EXPECT_EQ("", Markers(exeDir)) << "planted beside the exe and loaded";
    EXPECT_EQ("", Markers(currentDir)) << "planted in the current directory and loaded";
}

}  // namespace
}  // namespace ProgramTest
