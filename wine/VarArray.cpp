// ADsBuildVarArrayStr: the multi-valued form that IADs::Put accepts.
#include <windows.h>
#include <oleauto.h>
#include <iads.h>
#include <adshlp.h>
#include <adserr.h>

#include "base/Scoped.h"

extern "C" HRESULT WINAPI ADsBuildVarArrayStr(LPWSTR* lppPathNames, DWORD dwPathNames, VARIANT* pVar) {
    if (!pVar || (dwPathNames && !lppPathNames)) return E_ADS_BAD_PARAMETER;
    SAFEARRAY* array = ::SafeArrayCreateVector(VT_VARIANT, 0, dwPathNames);
    if (!array) return E_OUTOFMEMORY;
    for (LONG i = 0; i < static_cast<LONG>(dwPathNames); ++i) {
        Scoped::Variant element;
        V_BSTR(element.get()) = ::SysAllocString(lppPathNames[i] ? lppPathNames[i] : L"");
        V_VT(element.get()) = V_BSTR(element.get()) ? VT_BSTR : VT_EMPTY;
        // SafeArrayPutElement copies the string; element frees its own.
        HRESULT hr = V_BSTR(element.get()) ? ::SafeArrayPutElement(array, &i, element.get()) : E_OUTOFMEMORY;
        if (FAILED(hr)) {
            ::SafeArrayDestroy(array);
            return hr;
        }
    }
    ::VariantInit(pVar);
    V_VT(pVar) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(pVar) = array;
    return S_OK;
}
