// The test process's environment: the forest's settings that ctest hands
// down, and the provider's settings that a test changes for a while.
#pragma once

#include <string>

namespace TestSupport {

// The variable's value; empty when it is not set.
std::wstring EnvironmentValue(const wchar_t* name);

// A path that the build gives in a variable, as a Unix path, the way Windows
// programs see it (the root of that tree is drive Z:); empty when not set.
std::wstring WindowsPathFrom(const wchar_t* name);

// Sets a variable (an empty value removes it) for the life of the object,
// then restores what was there.
class ScopedEnvironment {
public:
    ScopedEnvironment(const wchar_t* name, const std::wstring& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::wstring m_name;
    std::wstring m_old;
    bool m_hadOld = false;
};

}  // namespace TestSupport
