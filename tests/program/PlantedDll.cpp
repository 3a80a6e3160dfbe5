// A DLL planted where no DLL of the program may come from: beside the exe
// and in the current directory, under the name of each DLL that the exe
// loads at run time. If it is ever loaded, it leaves a marker (its own path with
// ".loaded" appended) and refuses to load. It needs nothing but kernel32
// and no C runtime, so that it loads under any of those names.
#include <windows.h>

extern "C" BOOL WINAPI PlantedEntry(HINSTANCE module, DWORD reason, void* /*reserved*/) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    const wchar_t suffix[] = L".loaded";
    wchar_t path[MAX_PATH + sizeof suffix / sizeof suffix[0]];
    const DWORD n = ::GetModuleFileNameW(module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return FALSE;
    for (DWORD i = 0; i < sizeof suffix / sizeof suffix[0]; ++i) path[n + i] = suffix[i];
    HANDLE marker = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE) ::CloseHandle(marker);
    return FALSE;
}

// Stands in for each function the exe takes from activeds.dll, so that a
// static import of it resolves and the entry above runs.
extern "C" HRESULT WINAPI PlantedFunction() { return E_FAIL; }
