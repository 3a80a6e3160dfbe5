#include "tests/support/Environment.h"

#include <windows.h>

namespace TestSupport {

std::wstring EnvironmentValue(const wchar_t* name) {
    const DWORD n = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (n == 0) return std::wstring();
    std::wstring value(n, L'\0');
    const DWORD got = ::GetEnvironmentVariableW(name, &value[0], n);
    value.resize(got < n ? got : 0);
    return value;
}

std::wstring WindowsPathFrom(const wchar_t* name) {
    std::wstring path = EnvironmentValue(name);
    if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
    for (auto& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

ScopedEnvironment::ScopedEnvironment(const wchar_t* name, const std::wstring& value) : m_name(name) {
    m_hadOld = ::GetEnvironmentVariableW(name, nullptr, 0) != 0;
    if (m_hadOld) m_old = EnvironmentValue(name);
    ::SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str());
}

ScopedEnvironment::~ScopedEnvironment() {
    ::SetEnvironmentVariableW(m_name.c_str(), m_hadOld ? m_old.c_str() : nullptr);
}

}  // namespace TestSupport
