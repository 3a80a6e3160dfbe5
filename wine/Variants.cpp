#include "wine/Variants.h"

#include "ad/Scoped.h"

#include <adserr.h>

namespace Provider {

namespace {

HRESULT ScalarToValue(const VARIANT& value, std::wstring& text) {
    switch (V_VT(&value)) {
    case VT_BSTR:
        text.assign(V_BSTR(&value) ? V_BSTR(&value) : L"", V_BSTR(&value) ? ::SysStringLen(V_BSTR(&value)) : 0);
        return S_OK;
    case VT_BOOL:
        text = V_BOOL(&value) ? L"TRUE" : L"FALSE";
        return S_OK;
    case VT_I4:
        text = std::to_wstring(V_I4(&value));
        return S_OK;
    default:
        return E_ADS_CANT_CONVERT_DATATYPE;
    }
}

}  // namespace

HRESULT VariantToValues(const VARIANT& value, std::vector<std::wstring>& values) {
    const VARIANT* v = &value;
    // Script hosts pass a variant by reference; look through one level.
    if (V_VT(v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(v)) v = V_VARIANTREF(v);

    values.clear();
    if (V_VT(v) != (VT_ARRAY | VT_VARIANT)) {
        std::wstring text;
        HRESULT hr = ScalarToValue(*v, text);
        if (FAILED(hr)) return hr;
        values.push_back(std::move(text));
        return S_OK;
    }
    SAFEARRAY* array = V_ARRAY(v);
    if (!array || ::SafeArrayGetDim(array) != 1) return E_ADS_CANT_CONVERT_DATATYPE;
    LONG lower = 0, upper = -1;
    HRESULT hr = ::SafeArrayGetLBound(array, 1, &lower);
    if (FAILED(hr)) return hr;
    hr = ::SafeArrayGetUBound(array, 1, &upper);
    if (FAILED(hr)) return hr;
    for (LONG i = lower; i <= upper; ++i) {
        Scoped::Variant element;
        hr = ::SafeArrayGetElement(array, &i, element.get());
        if (FAILED(hr)) return hr;
        std::wstring text;
        hr = ScalarToValue(*element, text);
        if (FAILED(hr)) {
            values.clear();
            return hr;
        }
        values.push_back(std::move(text));
    }
    return S_OK;
}

HRESULT ValuesToVariant(const std::vector<std::wstring>& values, VARIANT* out) {
    if (values.empty()) return E_ADS_PROPERTY_NOT_FOUND;
    if (values.size() == 1) {
        BSTR text = ::SysAllocStringLen(values[0].data(), static_cast<UINT>(values[0].size()));
        if (!text) return E_OUTOFMEMORY;
        V_VT(out) = VT_BSTR;
        V_BSTR(out) = text;
        return S_OK;
    }
    SAFEARRAY* array = ::SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(values.size()));
    if (!array) return E_OUTOFMEMORY;
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
        Scoped::Variant element;
        V_BSTR(element.get()) = ::SysAllocStringLen(values[i].data(), static_cast<UINT>(values[i].size()));
        V_VT(element.get()) = V_BSTR(element.get()) ? VT_BSTR : VT_EMPTY;
        HRESULT hr = V_BSTR(element.get()) ? ::SafeArrayPutElement(array, &i, element.get()) : E_OUTOFMEMORY;
        if (FAILED(hr)) {
            ::SafeArrayDestroy(array);
            return hr;
        }
    }
    V_VT(out) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(out) = array;
    return S_OK;
}

}  // namespace Provider
