// The exe's first code: a TLS callback, which the loader calls once the
// static imports are mapped and initialised, before the entry point, the C
// runtime's start-up and every constructor. It shuts the exe's folder and
// the current directory out of the DLL search as far as this Windows allows,
// then gives the stack canary its value.
//
// This file is compiled without the stack protector: the canary changes
// while the callback runs.
#include <windows.h>

#include <cstdint>
#include <cstdlib>

extern "C" {

// The canary that -fstack-protector-strong checks in every function with a
// local buffer. Defined here, it keeps libssp's out of the link: that one
// is seeded by a constructor through CryptoAPI, which loads rsaenh.dll and
// with it bcrypt.dll and crypt32.dll, each looked for beside the exe first.
std::uintptr_t __stack_chk_guard;

// A smashed stack ends the process at once with the status that the
// platform's own check reports; nothing of the process runs on the way out.
[[noreturn]] void __stack_chk_fail() {
    ::TerminateProcess(::GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    std::abort();
}

}  // extern "C"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// The process runs elevated, usually from a download folder: nothing that
// it, COM or the common controls load by name may come from the exe's
// folder or the current directory. Windows 7 and Server 2008 R2 without
// KB2533623, their 2011 loader update, lack SetDefaultDllDirectories (hence
// the look-up) and ignore DependentLoadFlags: there an empty DLL directory
// takes the current directory out, while the exe's folder is still searched
// first; the delay-load hook (ad/DirectoryLibrary.cpp) still takes
// activeds.dll from System32. Both calls are looked up, so that the imports
// stay as they are.
void TakeDllsFromSystem32Only() {
    using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
    using SetDllDirectoryCall = BOOL(WINAPI*)(LPCWSTR);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    if (!kernel) return;
    if (FARPROC setDefault = ::GetProcAddress(kernel, "SetDefaultDllDirectories"))
        reinterpret_cast<SetDefaultDllDirectoriesCall>(reinterpret_cast<void (*)()>(setDefault))(
            LOAD_LIBRARY_SEARCH_SYSTEM32);
    else if (FARPROC setDirectory = ::GetProcAddress(kernel, "SetDllDirectoryW"))
        reinterpret_cast<SetDllDirectoryCall>(reinterpret_cast<void (*)()>(setDirectory))(L"");
}

// What the platform's compiler runtime seeds its security cookie from,
// none of which loads a DLL: the time, the process and thread ids, the
// performance counter and the tick count, with the stack's and the image's
// addresses, which address-space randomisation moves on every start.
std::uintptr_t CanarySeed() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    const auto count = static_cast<std::uint64_t>(counter.QuadPart);
    std::uint64_t seed = (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
    seed ^= ::GetCurrentProcessId();
    seed ^= std::uint64_t{::GetCurrentThreadId()} << 32;
    seed ^= count ^ (count << 32);
    seed ^= ::GetTickCount64() << 16;
    seed ^= reinterpret_cast<std::uintptr_t>(&now);
    seed ^= reinterpret_cast<std::uintptr_t>(&__ImageBase) << 16;
    // A zero canary is what a string copy writes most easily.
    return seed ? seed : 0x2B992DDFA232;
}

void NTAPI OnProcessStart(void* /*module*/, DWORD reason, void* /*reserved*/) {
    if (reason != DLL_PROCESS_ATTACH) return;
    TakeDllsFromSystem32Only();
    __stack_chk_guard = CanarySeed();
}

}  // namespace

// The loader calls the callbacks listed between the C runtime's .CRT$XLA and
// .CRT$XLZ markers, in the order of their section names.
extern "C" __attribute__((section(".CRT$XLB"), used)) const PIMAGE_TLS_CALLBACK ProcessStartCallback =
    OnProcessStart;
