// ADSI's allocator: callers free what the provider hands out (search
// columns, strings) with FreeADsMem / FreeADsStr, so both sides must agree.
#include <windows.h>
#include <oleauto.h>
#include <iads.h>
#include <adshlp.h>
#include <adserr.h>

#include <cwchar>

extern "C" LPVOID WINAPI AllocADsMem(DWORD cb) {
    return ::LocalAlloc(LPTR, cb);
}

extern "C" WINBOOL WINAPI FreeADsMem(LPVOID pMem) {
    if (!pMem) return FALSE;
    return ::LocalFree(pMem) == nullptr;
}

extern "C" LPVOID WINAPI ReallocADsMem(LPVOID pOldMem, DWORD cbOld, DWORD cbNew) {
    LPVOID fresh = AllocADsMem(cbNew);
    if (!fresh) return nullptr;
    if (pOldMem) {
        ::CopyMemory(fresh, pOldMem, cbOld < cbNew ? cbOld : cbNew);
        FreeADsMem(pOldMem);
    }
    return fresh;
}

extern "C" LPWSTR WINAPI AllocADsStr(LPCWSTR pStr) {
    if (!pStr) return nullptr;
    size_t bytes = (std::wcslen(pStr) + 1) * sizeof(wchar_t);
    auto* copy = static_cast<LPWSTR>(AllocADsMem(static_cast<DWORD>(bytes)));
    if (copy) ::CopyMemory(copy, pStr, bytes);
    return copy;
}

extern "C" WINBOOL WINAPI FreeADsStr(LPWSTR pStr) {
    return FreeADsMem(pStr);
}
