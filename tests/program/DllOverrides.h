// Wine's DLL overrides for schema-modify.exe alone: the prefix's AppDefaults
// key, which Wine reads at every start of a process of that name. A driver
// cannot choose them with WINEDLLOVERRIDES in the environment block that it
// hands to CreateProcess: Wine 8 takes that variable from the Unix
// environment that the driver itself was started with.
#pragma once

#include <windows.h>

#include <string>

namespace ProgramTest {

// The overrides set through the object, all removed at the end of its life.
class ProgramDllOverrides {
public:
    ProgramDllOverrides() = default;
    ~ProgramDllOverrides();
    ProgramDllOverrides(const ProgramDllOverrides&) = delete;
    ProgramDllOverrides& operator=(const ProgramDllOverrides&) = delete;

    // Sets the load order ("native,builtin", "builtin") of the DLL of that file name.
    bool Set(std::wstring file, const std::wstring& order);

private:
    HKEY m_key = nullptr;
};

}  // namespace ProgramTest
