#include "ad/DirectoryLibrary.h"

#include <delayimp.h>

#include <string>

namespace AD {

UINT(WINAPI* SystemDirectory)(LPWSTR buffer, UINT size) = &GetSystemDirectoryW;

namespace {

// The thread's last error as an HRESULT; a failure even when a call failed
// without setting one, so that the caller never takes it for success.
HRESULT LastFailure() noexcept {
    const DWORD error = ::GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

}  // namespace

HRESULT LoadSystemLibrary(const char* name, HMODULE* module) noexcept {
    *module = nullptr;
    wchar_t directory[MAX_PATH];
    const UINT n = SystemDirectory(directory, MAX_PATH);
    if (n == 0) return LastFailure();
    if (n >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    try {
        std::wstring path(directory, n);
        path += L'\\';
        for (const char* c = name; *c; ++c) path += static_cast<wchar_t>(static_cast<unsigned char>(*c));
        *module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        // Windows 7 without its loader update knows no search flags; there
        // the library's own folder, System32, is searched first for what it
        // needs in turn.
        if (!*module && ::GetLastError() == ERROR_INVALID_PARAMETER)
            *module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        return *module ? S_OK : LastFailure();
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT LoadDirectoryLibrary() noexcept {
    static const HRESULT loaded = [] {
        HMODULE module;
        return LoadSystemLibrary("activeds.dll", &module);
    }();
    return loaded;
}

namespace {

// The delay-load helper asks this before it loads a library by its bare
// name, which Windows 7 without SetDefaultDllDirectories would look for in
// the exe's folder first.
FARPROC WINAPI LoadFromSystem32(unsigned notification, PDelayLoadInfo info) {
    if (notification != dliNotePreLoadLibrary) return nullptr;
    HMODULE module;
    LoadSystemLibrary(info->szDll, &module);
    return reinterpret_cast<FARPROC>(module);
}

}  // namespace

}  // namespace AD

PfnDliHook __pfnDliNotifyHook2 = AD::LoadFromSystem32;
