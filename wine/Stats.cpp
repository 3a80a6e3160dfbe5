#include "wine/Stats.h"

#include "wine/Settings.h"

#include <windows.h>

namespace Provider {

void RecordOperation(const wchar_t* operation, const std::wstring& server, const std::wstring& dn) {
    try {
        std::wstring path = ReadSettings().statsPath;
        if (path.empty()) return;
        std::wstring line = std::wstring(operation) + L" " + server + L" " + dn + L"\n";
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

}  // namespace Provider
