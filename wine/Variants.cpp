#include "wine/Variants.h"

#include "base/Scoped.h"

#include <adserr.h>

#include <cstdio>
#include <cwchar>

namespace Provider {

namespace {

// Generalized time "YYYYMMDDHHMMSS[.f]Z" or UTC time "YYMMDDHHMMSSZ", both
// in UTC, as VT_DATE.
HRESULT TimeToDate(const std::wstring& text, DATE& date) {
    SYSTEMTIME t{};
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    int consumed = 0;
    bool generalized = text.size() > 12 && text[12] != L'Z';
    int fields = generalized ? std::swscanf(text.c_str(), L"%4u%2u%2u%2u%2u%2u%n", &y, &mo, &d, &h, &mi, &s, &consumed)
                             : std::swscanf(text.c_str(), L"%2u%2u%2u%2u%2u%2u%n", &y, &mo, &d, &h, &mi, &s, &consumed);
    if (fields != 6) return E_ADS_CANT_CONVERT_DATATYPE;
    // Two-digit years: 50 to 99 are the twentieth century (RFC 5280's rule).
    if (!generalized) y += y < 50 ? 2000 : 1900;
    t.wYear = static_cast<WORD>(y);
    t.wMonth = static_cast<WORD>(mo);
    t.wDay = static_cast<WORD>(d);
    t.wHour = static_cast<WORD>(h);
    t.wMinute = static_cast<WORD>(mi);
    t.wSecond = static_cast<WORD>(s);
    return ::SystemTimeToVariantTime(&t, &date) ? S_OK : E_ADS_CANT_CONVERT_DATATYPE;
}

HRESULT DateToTime(DATE date, std::wstring& text) {
    SYSTEMTIME t{};
    if (!::VariantTimeToSystemTime(date, &t)) return E_ADS_CANT_CONVERT_DATATYPE;
    wchar_t buffer[32];
    std::swprintf(buffer, 32, L"%04u%02u%02u%02u%02u%02u.0Z", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    text = buffer;
    return S_OK;
}

HRESULT ScalarToValue(const VARIANT& value, Syntax syntax, std::wstring& text) {
    VARTYPE type = V_VT(&value);
    switch (syntax) {
    case Syntax::String:
    case Syntax::Dn:
        if (type != VT_BSTR) break;
        text.assign(V_BSTR(&value) ? V_BSTR(&value) : L"", V_BSTR(&value) ? ::SysStringLen(V_BSTR(&value)) : 0);
        return S_OK;
    case Syntax::Boolean:
        if (type != VT_BOOL) break;
        text = V_BOOL(&value) ? L"TRUE" : L"FALSE";
        return S_OK;
    case Syntax::Integer:
        // Script hosts pass small integer literals as VT_I2.
        if (type == VT_I4) text = std::to_wstring(V_I4(&value));
        else if (type == VT_I2) text = std::to_wstring(V_I2(&value));
        else break;
        return S_OK;
    case Syntax::Time:
        if (type != VT_DATE) break;
        return DateToTime(V_DATE(&value), text);
    case Syntax::Operational:
        // RootDSE's operations (schemaUpdateNow and the like) are not in the
        // schema; what they take is written as the directory reads it.
        if (type == VT_BSTR) return ScalarToValue(value, Syntax::String, text);
        if (type == VT_BOOL) return ScalarToValue(value, Syntax::Boolean, text);
        if (type == VT_I4 || type == VT_I2) return ScalarToValue(value, Syntax::Integer, text);
        break;
    case Syntax::Unsupported:
        break;
    }
    return E_ADS_CANT_CONVERT_DATATYPE;
}

HRESULT ValueToScalar(const std::wstring& text, Syntax syntax, VARIANT& out) {
    switch (syntax) {
    case Syntax::Boolean:
        if (text != L"TRUE" && text != L"FALSE") return E_ADS_CANT_CONVERT_DATATYPE;
        V_VT(&out) = VT_BOOL;
        V_BOOL(&out) = text == L"TRUE" ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    case Syntax::Integer:
        // ADSI reads an LDAP INTEGER as 32 bits ("ADSI Simple Data Types"):
        // enumerations such as systemFlags carry the sign bit.
        V_VT(&out) = VT_I4;
        V_I4(&out) = static_cast<LONG>(std::wcstoll(text.c_str(), nullptr, 10));
        return S_OK;
    case Syntax::Time: {
        DATE date = 0;
        HRESULT hr = TimeToDate(text, date);
        if (FAILED(hr)) return hr;
        V_VT(&out) = VT_DATE;
        V_DATE(&out) = date;
        return S_OK;
    }
    case Syntax::Unsupported:
        return E_ADS_CANT_CONVERT_DATATYPE;
    case Syntax::String:
    case Syntax::Dn:
    case Syntax::Operational:
        break;
    }
    V_BSTR(&out) = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!V_BSTR(&out)) return E_OUTOFMEMORY;
    V_VT(&out) = VT_BSTR;
    return S_OK;
}

}  // namespace

HRESULT VariantToValues(const VARIANT& value, Syntax syntax, std::vector<std::wstring>& values) {
    const VARIANT* v = &value;
    // Script hosts pass a variant by reference; look through one level.
    if (V_VT(v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(v)) v = V_VARIANTREF(v);

    values.clear();
    if (V_VT(v) != (VT_ARRAY | VT_VARIANT)) {
        std::wstring text;
        HRESULT hr = ScalarToValue(*v, syntax, text);
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
        hr = ScalarToValue(*element, syntax, text);
        if (FAILED(hr)) {
            values.clear();
            return hr;
        }
        values.push_back(std::move(text));
    }
    return S_OK;
}

HRESULT ValuesToVariant(const std::vector<std::wstring>& values, Syntax syntax, VARIANT* out) {
    if (values.empty()) return E_ADS_PROPERTY_NOT_FOUND;
    if (values.size() == 1) {
        VARIANT scalar;
        ::VariantInit(&scalar);
        HRESULT hr = ValueToScalar(values[0], syntax, scalar);
        if (SUCCEEDED(hr)) *out = scalar;
        return hr;
    }
    SAFEARRAY* array = ::SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(values.size()));
    if (!array) return E_OUTOFMEMORY;
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
        Scoped::Variant element;
        HRESULT hr = ValueToScalar(values[static_cast<size_t>(i)], syntax, *element.get());
        if (SUCCEEDED(hr)) hr = ::SafeArrayPutElement(array, &i, element.get());
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
