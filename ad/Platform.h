// The platform calls that tests replace: binding, the extended error, the
// mayContain list, the tick count, the pause and the message box. Production
// code calls them only through AD::Platform, whose defaults are the real
// functions.
#pragma once

#include <windows.h>
#include <oleauto.h>

namespace AD {

struct PlatformCalls {
    HRESULT(WINAPI* getObject)(LPCWSTR path, REFIID riid, void** object);
    HRESULT(WINAPI* getLastError)(LPDWORD error, LPWSTR text, DWORD textLength,
                                  LPWSTR provider, DWORD providerLength);
    HRESULT(WINAPI* buildVarArrayStr)(LPWSTR* strings, DWORD count, VARIANT* value);
    DWORD(WINAPI* tickCount)();
    void(WINAPI* pause)(DWORD milliseconds);
    int(WINAPI* messageBox)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
};

// The real ADsGetObject, ADsGetLastError, ADsBuildVarArrayStr (each failing
// with the load failure when activeds.dll cannot be loaded), GetTickCount,
// Sleep and MessageBoxW.
extern const PlatformCalls RealPlatform;

// What the directory code calls; tests point members elsewhere and restore
// RealPlatform afterwards.
extern PlatformCalls Platform;

}  // namespace AD
