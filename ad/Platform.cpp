#include "ad/Platform.h"

#include "ad/DirectoryLibrary.h"

#include <iads.h>
#include <adshlp.h>

namespace AD {

namespace {

// The ADSI calls, each answering with the load failure when the library
// cannot be loaded: every directory operation then fails like any other.
HRESULT WINAPI GetObjectFromSystem(LPCWSTR path, REFIID riid, void** object) {
    const HRESULT loaded = LoadDirectoryLibrary();
    return FAILED(loaded) ? loaded : ::ADsGetObject(path, riid, object);
}

HRESULT WINAPI GetLastErrorFromSystem(LPDWORD error, LPWSTR text, DWORD textLength, LPWSTR provider,
                                      DWORD providerLength) {
    const HRESULT loaded = LoadDirectoryLibrary();
    return FAILED(loaded) ? loaded
                          : ::ADsGetLastError(error, text, textLength, provider, providerLength);
}

HRESULT WINAPI BuildVarArrayStrFromSystem(LPWSTR* strings, DWORD count, VARIANT* value) {
    const HRESULT loaded = LoadDirectoryLibrary();
    return FAILED(loaded) ? loaded : ::ADsBuildVarArrayStr(strings, count, value);
}

}  // namespace

const PlatformCalls RealPlatform = {
    &GetObjectFromSystem, &GetLastErrorFromSystem, &BuildVarArrayStrFromSystem,
    &GetTickCount,        &Sleep,                  &MessageBoxW,
};

PlatformCalls Platform = RealPlatform;

}  // namespace AD
