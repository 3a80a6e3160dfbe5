#include "wine/Settings.h"

#include <windows.h>

namespace Provider {

namespace {

std::wstring Environment(const wchar_t* name) {
    DWORD needed = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (needed == 0) return std::wstring();
    std::wstring value(needed, L'\0');
    DWORD written = ::GetEnvironmentVariableW(name, &value[0], needed);
    value.resize(written < needed ? written : 0);
    return value;
}

}  // namespace

Settings ReadSettings() {
    Settings settings;
    settings.server = Environment(L"WINEADSI_SERVER");
    settings.user = Environment(L"WINEADSI_USER");
    settings.password = Environment(L"WINEADSI_PASSWORD");
    settings.auth = Environment(L"WINEADSI_AUTH");
    settings.statsPath = Environment(L"WINEADSI_STATS");
    return settings;
}

}  // namespace Provider
