#include "ad/DirectoryLibrary.h"

#include <delayimp.h>

#include <string>

namespace AD {

HMODULE LoadSystemLibrary(const char* name) noexcept {
    wchar_t directory[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(directory, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    try {
        std::wstring path(directory, n);
        path += L'\\';
        for (const char* c = name; *c; ++c) path += static_cast<wchar_t>(static_cast<unsigned char>(*c));
        HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        // Windows 7 without its loader update knows no search flags; there
        // the library's own folder, System32, is searched first for what it
        // needs in turn.
        if (!module && ::GetLastError() == ERROR_INVALID_PARAMETER)
            module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        return module;
    } catch (...) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

HRESULT LoadDirectoryLibrary() noexcept {
    static const HRESULT loaded = [] {
        return LoadSystemLibrary("activeds.dll") ? S_OK : HRESULT_FROM_WIN32(::GetLastError());
    }();
    return loaded;
}

namespace {

// The delay-load helper asks this before it loads a library by its bare
// name, which Windows 7 without SetDefaultDllDirectories would look for in
// the exe's folder first.
FARPROC WINAPI LoadFromSystem32(unsigned notification, PDelayLoadInfo info) {
    if (notification != dliNotePreLoadLibrary) return nullptr;
    return reinterpret_cast<FARPROC>(LoadSystemLibrary(info->szDll));
}

}  // namespace

}  // namespace AD

PfnDliHook __pfnDliNotifyHook2 = AD::LoadFromSystem32;
