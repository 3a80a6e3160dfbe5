// The provider's VARIANT conventions: what Put accepts and what Get returns,
// by the attribute's syntax ("ADSI Data Types" and the per-syntax pages of
// the Active Directory schema: Boolean VT_BOOL, Integer VT_I4, strings, OIDs
// and DNs VT_BSTR, times VT_DATE; several values VT_ARRAY|VT_VARIANT).
#pragma once

#include "wine/Syntax.h"

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace Provider {

// One value, or a one-dimensional VT_ARRAY|VT_VARIANT of several, each of
// the VARIANT type of syntax, into the directory's text form. Anything else
// is E_ADS_CANT_CONVERT_DATATYPE.
HRESULT VariantToValues(const VARIANT& value, Syntax syntax, std::vector<std::wstring>& values);

// One value as the syntax's VARIANT type, several as VT_ARRAY|VT_VARIANT of
// them. out must be initialised; it is overwritten only on success.
HRESULT ValuesToVariant(const std::vector<std::wstring>& values, Syntax syntax, VARIANT* out);

}  // namespace Provider
