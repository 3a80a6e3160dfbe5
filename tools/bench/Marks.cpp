#include "tools/bench/Marks.h"

#include <windows.h>

#include <cstdio>

namespace Bench {

void Mark(const char* label) {
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetEnvironmentVariableW(L"BENCH_MARKS", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    char line[128];
    const int length = std::snprintf(line, sizeof line, "mark %s - @%.3f +0\n", label,
                                     1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart));
    HANDLE file = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
    ::CloseHandle(file);
}

}  // namespace Bench
