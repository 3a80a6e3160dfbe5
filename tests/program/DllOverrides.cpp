#include "tests/program/DllOverrides.h"

namespace ProgramTest {
namespace {

const wchar_t kKey[] = L"Software\\Wine\\AppDefaults\\schema-modify.exe\\DllOverrides";

// A driver killed at its time-out ran no destructor: what it set would make
// every later program of the prefix load other DLLs. Gone before this
// driver starts anything.
const LSTATUS kLeftoversRemoved = RegDeleteTreeW(HKEY_CURRENT_USER, kKey);

}  // namespace

ProgramDllOverrides::~ProgramDllOverrides() {
    if (!m_key) return;
    RegCloseKey(m_key);
    RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
}

bool ProgramDllOverrides::Set(std::wstring file, const std::wstring& order) {
    if (!m_key && RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &m_key,
                                  nullptr) != ERROR_SUCCESS)
        m_key = nullptr;
    if (file.size() > 4 && file.compare(file.size() - 4, 4, L".dll") == 0) file.resize(file.size() - 4);
    return m_key && RegSetValueExW(m_key, file.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(order.c_str()),
                                   static_cast<DWORD>((order.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace ProgramTest
