#include "wine/Stats.h"

#include "wine/Settings.h"

#include <windows.h>

#include <cstdio>

namespace Provider {

namespace {

double NowMs() {
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Append(const std::wstring& line) {
    try {
        std::wstring path = ReadSettings().statsPath;
        if (path.empty()) return;
        int bytes = ::WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()),
                                          nullptr, 0, nullptr, nullptr);
        if (bytes <= 0) return;
        std::string utf8(bytes, '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), &utf8[0], bytes,
                              nullptr, nullptr);
        // FILE_APPEND_DATA makes each write land at the end even when
        // several processes log into the same file.
        HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return;
        DWORD written = 0;
        ::WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
        ::CloseHandle(file);
    } catch (...) {
        // The log is a measuring aid: never let it fail an operation.
    }
}

std::wstring Milliseconds(double ms) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%.3f", ms);
    return text;
}

}  // namespace

void RecordLoad() {
    Append(L"load - - @" + Milliseconds(NowMs()) + L" +0\n");
}

OperationRecord::OperationRecord(const wchar_t* operation, const std::wstring& server, const std::wstring& dn)
    : m_operation(operation), m_server(server), m_dn(dn), m_start(NowMs()) {}

OperationRecord::~OperationRecord() {
    try {
        Append(std::wstring(m_operation) + L" " + m_server + L" " + m_dn + L" @" + Milliseconds(m_start) +
               L" +" + Milliseconds(NowMs() - m_start) + L"\n");
    } catch (...) {
    }
}

}  // namespace Provider
