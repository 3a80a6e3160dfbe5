// How the directory code fails and what the user reads about it.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

namespace AD {

// A failed directory call: its HRESULT and the step that failed. The message
// begins with "Unable to"; discovery leaves it empty because its catcher
// shows only the HRESULT's text.
class HResultException : public std::runtime_error {
public:
    HResultException(HRESULT hr, const std::string& message)
        : std::runtime_error(message), m_hr(hr) {}
    HRESULT hresult() const noexcept { return m_hr; }

private:
    HRESULT m_hr;
};

// Returns hr when it is a success code, else throws HResultException(hr, message).
HRESULT CheckHResult(HRESULT hr, const char* message);

struct AdsErrorName {
    DWORD code;
    const wchar_t* name;
};

// The size, in characters, of each buffer given to ADsGetLastError.
const DWORD ExtendedErrorBufferLength = 512;

// ADSI's own error codes, ended by a row whose code is 0.
extern const AdsErrorName AdsErrorNames[];

// The text shown for hr: the thread's extended ADSI error, ADSI's name for
// the code, the system's message, or a fallback that gives the number.
std::wstring DescribeHResult(HRESULT hr);

// An exception message (narrow, in the thread's ANSI code page) as UTF-16.
std::wstring AnsiToWide(const char* text);

}  // namespace AD
