#include "ad/DirectoryLibrary.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A row's answer of GetSystemDirectoryW: the length and the last error.
UINT g_length;
DWORD g_error;

UINT WINAPI FakeSystemDirectory(LPWSTR, UINT) {
    ::SetLastError(g_error);
    return g_length;
}

struct Row {
    const char* what;
    bool fake;  // false: the real System32 path
    UINT length;
    DWORD error;
    const char* name;
    HRESULT result;
};

const Row Rows[] = {
    {"the path is refused", true, 0, ERROR_ACCESS_DENIED, "version.dll", HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)},
    // Without a last error, its HRESULT would be S_OK.
    {"the path fails without an error", true, 0, ERROR_SUCCESS, "version.dll", E_FAIL},
    {"the path needs a longer buffer", true, MAX_PATH + 20, ERROR_SUCCESS, "version.dll",
     HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)},
    {"the path leaves no room for its end", true, MAX_PATH, ERROR_SUCCESS, "version.dll",
     HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)},
    {"no such DLL in System32", false, 0, 0, "no-such-library.dll", HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)},
    {"a DLL of System32", false, 0, 0, "version.dll", S_OK},
};

TEST(LoadSystemLibrary, LoadsFromSystem32OrFailsWithAFailureHResult) {
    wchar_t system[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    ASSERT_TRUE(n > 0 && n < MAX_PATH);
    const std::wstring expected = std::wstring(system, n) + L"\\version.dll";
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.what);
        g_length = row.length;
        g_error = row.error;
        if (row.fake) AD::SystemDirectory = &FakeSystemDirectory;
        HMODULE module = reinterpret_cast<HMODULE>(1);
        EXPECT_EQ(row.result, AD::LoadSystemLibrary(row.name, &module));
        AD::SystemDirectory = &GetSystemDirectoryW;
        if (FAILED(row.result)) {
            EXPECT_EQ(nullptr, module);
            continue;
        }
        wchar_t path[MAX_PATH];
        const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
        EXPECT_EQ(CSTR_EQUAL, ::CompareStringOrdinal(path, static_cast<int>(length), expected.c_str(), -1, TRUE));
        ::FreeLibrary(module);
    }
}

}  // namespace
