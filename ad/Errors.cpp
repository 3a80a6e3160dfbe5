#include "ad/Errors.h"

#include "ad/Platform.h"
#include "base/Scoped.h"

#include <cwchar>
#include <vector>

namespace AD {

const AdsErrorName AdsErrorNames[] = {
    {0x80005000, L"E_ADS_BAD_PATHNAME"},
    {0x80005001, L"E_ADS_INVALID_DOMAIN_OBJECT"},
    {0x80005002, L"E_ADS_INVALID_USER_OBJECT"},
    {0x80005003, L"E_ADS_INVALID_COMPUTER_OBJECT"},
    {0x80005004, L"E_ADS_UNKNOWN_OBJECT"},
    {0x80005005, L"E_ADS_PROPERTY_NOT_SET"},
    {0x80005006, L"E_ADS_PROPERTY_NOT_SUPPORTED"},
    {0x80005007, L"E_ADS_PROPERTY_INVALID"},
    {0x80005008, L"E_ADS_BAD_PARAMETER"},
    {0x80005009, L"E_ADS_OBJECT_UNBOUND"},
    {0x8000500A, L"E_ADS_PROPERTY_NOT_MODIFIED"},
    {0x8000500B, L"E_ADS_PROPERTY_MODIFIED"},
    {0x8000500C, L"E_ADS_CANT_CONVERT_DATATYPE"},
    {0x8000500D, L"E_ADS_PROPERTY_NOT_FOUND"},
    {0x8000500E, L"E_ADS_OBJECT_EXISTS"},
    {0x8000500F, L"E_ADS_SCHEMA_VIOLATION"},
    {0x80005010, L"E_ADS_COLUMN_NOT_SET"},
    {0x80005014, L"E_ADS_INVALID_FILTER"},
    {0, nullptr},
};

HRESULT CheckHResult(HRESULT hr, const char* message) {
    if (FAILED(hr)) throw HResultException(hr, message);
    return hr;
}

namespace {

// printf into a growable wide string; the caller's arguments decide the length.
template <typename... Args>
std::wstring Format(const wchar_t* format, Args... args) {
    std::vector<wchar_t> buffer(256);
    for (;;) {
        int n = std::swprintf(buffer.data(), buffer.size(), format, args...);
        if (n >= 0 && static_cast<size_t>(n) < buffer.size())
            return std::wstring(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring DescribeDirectoryError(HRESULT hr) {
    DWORD error = 0;
    wchar_t text[ExtendedErrorBufferLength] = L"";
    wchar_t provider[ExtendedErrorBufferLength] = L"";
    HRESULT got = Platform.getLastError(&error, text, ExtendedErrorBufferLength,
                                        provider, ExtendedErrorBufferLength);
    // A text cut to the buffer need not come back terminated.
    text[ExtendedErrorBufferLength - 1] = L'\0';
    provider[ExtendedErrorBufferLength - 1] = L'\0';
    // Code 13 (ERROR_INVALID_DATA) carries no description worth showing.
    if (SUCCEEDED(got) && error != 13 && text[0] != L'\0')
        return Format(L"ADSI error occured (0x%lX),\r\nDescripton:`%ls',\r\nFrom:`%ls'",
                      static_cast<unsigned long>(hr), text, provider);
    for (const AdsErrorName* row = AdsErrorNames; row->code != 0; ++row)
        if (row->code == static_cast<DWORD>(hr))
            return Format(L"ADSI error occured %ls (0x%lX)", row->name,
                          static_cast<unsigned long>(hr));
    return std::wstring();
}

std::wstring DescribeSystemError(HRESULT hr) {
    Scoped::LocalMemory<wchar_t*> buffer;
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                               nullptr, static_cast<DWORD>(hr),
                               MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT),
                               reinterpret_cast<wchar_t*>(buffer.out()), 0, nullptr);
    if (n == 0 || !buffer.get()) return std::wstring();
    return std::wstring(buffer.get());
}

}  // namespace

std::wstring DescribeHResult(HRESULT hr) {
    std::wstring text;
    if (hr & 0x5000)
        text = DescribeDirectoryError(hr);
    else if ((hr & 0x1FFF0000) == 0x00070000)
        text = DescribeSystemError(hr);
    if (text.empty())
        text = Format(L"An unknown error occured (0x%lX)", static_cast<unsigned long>(hr));
    return text;
}

std::wstring AnsiToWide(const char* text) {
    int n = ::MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, nullptr, 0);
    if (n <= 1) return std::wstring();
    std::wstring wide(n - 1, L'\0');
    ::MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, &wide[0], n);
    return wide;
}

}  // namespace AD
