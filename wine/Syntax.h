// Attribute syntaxes as the directory's abstract schema (the subschema
// entry's attributeTypes) gives them, reduced to what decides a value's
// VARIANT type.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace Provider {

enum class Syntax {
    String,      // Unicode, OID, printable, IA5, numeric, case-exact: VT_BSTR
    Dn,          // Object(DS-DN): VT_BSTR, ADSTYPE_DN_STRING in a column
    Boolean,     // VT_BOOL
    Integer,     // Integer and Enumeration: VT_I4
    Time,        // Generalized and UTC time: VT_DATE
    Unsupported, // octet strings, large integers, security descriptors, DN-binary...
    Operational, // RootDSE: not in the schema at all
};

// Attribute names (lower case) to syntaxes, from attributeTypes values such
// as "( 2.5.4.3 NAME 'cn' SYNTAX '1.3.6.1.4.1.1466.115.121.1.15' ... )".
std::map<std::wstring, Syntax> ParseAttributeTypes(const std::vector<std::wstring>& attributeTypes);

// The syntax of attribute (any case) in what ParseAttributeTypes gave; false
// when it is not there.
bool FindSyntax(const std::map<std::wstring, Syntax>& syntaxes, const std::wstring& attribute, Syntax& syntax);

}  // namespace Provider
