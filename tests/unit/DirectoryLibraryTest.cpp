#include "ad/DirectoryLibrary.h"
#include "ad/Platform.h"

#include <gtest/gtest.h>

#include <string>

namespace {

UINT WINAPI DeniedSystemDirectory(LPWSTR, UINT) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return 0;
}

// Failing without a last error: its HRESULT would be S_OK.
UINT WINAPI SilentlyFailingSystemDirectory(LPWSTR, UINT) {
    ::SetLastError(ERROR_SUCCESS);
    return 0;
}

// The size that it would need, as the call answers a buffer too small.
UINT WINAPI LongSystemDirectory(LPWSTR, UINT size) {
    ::SetLastError(ERROR_SUCCESS);
    return size + 20;
}

// No room left for the terminating null.
UINT WINAPI FullSystemDirectory(LPWSTR, UINT size) {
    ::SetLastError(ERROR_SUCCESS);
    return size;
}

struct Row {
    const char* what;
    UINT(WINAPI* systemDirectory)(LPWSTR, UINT);
    const char* name;
    HRESULT result;
};

const Row Rows[] = {
    {"the System32 path is refused", &DeniedSystemDirectory, "version.dll", HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)},
    {"the System32 path fails without an error", &SilentlyFailingSystemDirectory, "version.dll", E_FAIL},
    {"the System32 path is too long", &LongSystemDirectory, "version.dll",
     HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)},
    {"the System32 path leaves no room", &FullSystemDirectory, "version.dll",
     HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)},
    {"no such DLL in System32", &GetSystemDirectoryW, "no-such-library.dll", HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)},
    {"a DLL of System32", &GetSystemDirectoryW, "version.dll", S_OK},
};

TEST(LoadSystemLibrary, LoadsFromSystem32OrFailsWithAFailureHResult) {
    wchar_t system[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    ASSERT_TRUE(n > 0 && n < MAX_PATH);
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.what);
        AD::Platform.systemDirectory = row.systemDirectory;
        HMODULE module = reinterpret_cast<HMODULE>(1);
        EXPECT_EQ(row.result, AD::LoadSystemLibrary(row.name, &module));
        AD::Platform = AD::RealPlatform;
        if (FAILED(row.result)) {
            EXPECT_EQ(nullptr, module);
            continue;
        }
        wchar_t path[MAX_PATH];
        const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
        const std::wstring expected = std::wstring(system, n) + L"\\version.dll";
        EXPECT_EQ(CSTR_EQUAL, ::CompareStringOrdinal(path, static_cast<int>(length), expected.c_str(), -1, TRUE));
        ::FreeLibrary(module);
    }
}

}  // namespace
