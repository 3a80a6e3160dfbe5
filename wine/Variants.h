// The provider's VARIANT conventions: what Put accepts and what Get returns.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace Provider {

// VT_BSTR as is, VT_BOOL as "TRUE"/"FALSE", VT_I4 in decimal, and a
// one-dimensional VT_ARRAY|VT_VARIANT of those as several values; anything
// else is E_ADS_CANT_CONVERT_DATATYPE.
HRESULT VariantToValues(const VARIANT& value, std::vector<std::wstring>& values);

// One value as VT_BSTR, several as VT_ARRAY|VT_VARIANT of VT_BSTR. out must
// be initialised; it is overwritten only on success.
HRESULT ValuesToVariant(const std::vector<std::wstring>& values, VARIANT* out);

}  // namespace Provider
