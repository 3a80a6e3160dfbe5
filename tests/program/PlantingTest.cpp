// The exe runs elevated from wherever it was downloaded, so no DLL beside it
// or in the current directory may ever load into it. A DLL that leaves a
// marker when loaded (PlantedDll.cpp) is put in both places under the name
// of every DLL that the exe imports or delay-loads; the exe then runs
// against the forest to its details, so activeds.dll was really loaded,
// and must have come from system32. PLANTING_EXE names the exe: the built
// one or the signed release.
#include "tests/program/ForestTest.h"
#include "tests/support/Environment.h"
#include "tests/support/Unix.h"

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <sstream>

namespace ProgramTest {
namespace {

std::wstring Lower(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

// The DLLs that the exe imports or delay-loads, as tests/release/pe-imports.py
// reads them from the file (the exe path as the build gives it).
std::vector<std::wstring> ImportedDlls(const std::string& unixExe, std::string* output) {
    const std::string script = Narrow(TestSupport::EnvironmentValue(L"PE_IMPORTS"));
    std::vector<std::wstring> dlls;
    if (TestSupport::RunUnix("python3 " + TestSupport::ShellQuote(script) + " " +
                                 TestSupport::ShellQuote(unixExe), output) != 0)
        return dlls;
    std::istringstream lines(*output);
    for (std::string kind, dll, function; lines >> kind >> dll >> function;) {
        const std::wstring name = Lower(TestSupport::Widen(dll));
        if (std::find(dlls.begin(), dlls.end(), name) == dlls.end()) dlls.push_back(name);
    }
    return dlls;
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

class Planting : public ForestTest {};

TEST_F(Planting, NoDllBesideTheExeOrInTheCurrentDirectoryIsLoaded) {
    const std::wstring planted = TestSupport::WindowsPathFrom(L"PLANTED_DLL");
    ASSERT_FALSE(planted.empty()) << "PLANTED_DLL is not set";
    const std::wstring exe = TestSupport::WindowsPathFrom(L"PLANTING_EXE");
    ASSERT_FALSE(exe.empty()) << "PLANTING_EXE is not set";
    std::string listed;
    const std::vector<std::wstring> dlls =
        ImportedDlls(Narrow(TestSupport::EnvironmentValue(L"PLANTING_EXE")), &listed);
    ASSERT_NE(dlls.end(), std::find(dlls.begin(), dlls.end(), L"activeds.dll"))
        << "no activeds.dll among the imports of " << Narrow(exe) << ":\n" << listed;

    wchar_t temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    const std::wstring root = std::wstring(temp) + L"schema-modify-planting";
    const std::wstring exeDir = root + L"\\exe", currentDir = root + L"\\current";
    for (const std::wstring& dir : {root, exeDir, currentDir}) EmptyDirectory(dir);
    ASSERT_TRUE(CopyFileW(exe.c_str(), (exeDir + L"\\schema-modify.exe").c_str(), FALSE));
    for (const std::wstring& dll : dlls) {
        std::printf("planted %s beside the exe and in the current directory\n", Narrow(dll).c_str());
        ASSERT_TRUE(CopyFileW(planted.c_str(), (exeDir + L"\\" + dll).c_str(), FALSE));
        ASSERT_TRUE(CopyFileW(planted.c_str(), (currentDir + L"\\" + dll).c_str(), FALSE));
    }

    {
        Program program(exeDir + L"\\schema-modify.exe", currentDir);
        ExpectDetails(program);
        if (!HasFatalFailure()) {
            wchar_t system[MAX_PATH];
            ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
            const std::wstring adsi = program.LoadedModule(L"activeds.dll");
            std::printf("activeds.dll loaded from %s\n", Narrow(adsi).c_str());
            EXPECT_EQ(Lower(std::wstring(system) + L"\\activeds.dll"), Lower(adsi));
            program.Click(2);
            DWORD code = 0;
            EXPECT_TRUE(program.WaitForExit(15000, &code)) << "\"&Exit\" did not end the program";
            EXPECT_EQ(2u, code);
        }
    }
    EXPECT_EQ("", Markers(exeDir)) << "planted beside the exe and loaded";
    EXPECT_EQ("", Markers(currentDir)) << "planted in the current directory and loaded";
}

}  // namespace
}  // namespace ProgramTest
