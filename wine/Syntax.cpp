#include "wine/Syntax.h"

#include <cwctype>
#include <sstream>

namespace Provider {

namespace {

// The LDAP syntaxes that Active Directory's subschema names, with the ADSI
// type of each ("Mapping Active Directory Syntax to ADSI Syntax"; the large
// integer is IADsLargeInteger, the security descriptor
// IADsSecurityDescriptor, octet strings VT_ARRAY|VT_UI1, none of which this
// provider builds).
Syntax FromLdapSyntax(const std::wstring& oid) {
    const std::wstring ldap = L"1.3.6.1.4.1.1466.115.121.1.";
    if (oid == ldap + L"7") return Syntax::Boolean;
    if (oid == ldap + L"27") return Syntax::Integer;
    if (oid == ldap + L"12") return Syntax::Dn;
    if (oid == ldap + L"24" || oid == ldap + L"53") return Syntax::Time;
    if (oid == ldap + L"15" || oid == ldap + L"38" || oid == ldap + L"44" || oid == ldap + L"26" ||
        oid == ldap + L"36" || oid == L"1.2.840.113556.1.4.905")
        return Syntax::String;
    return Syntax::Unsupported;
}

std::wstring Unquoted(std::wstring token) {
    if (token.size() >= 2 && token.front() == L'\'' && token.back() == L'\'') token = token.substr(1, token.size() - 2);
    // A syntax may carry a length bound: "1.3.6.1.4.1.1466.115.121.1.15{64}".
    size_t brace = token.find(L'{');
    if (brace != std::wstring::npos) token.erase(brace);
    return token;
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

}  // namespace

std::map<std::wstring, Syntax> ParseAttributeTypes(const std::vector<std::wstring>& attributeTypes) {
    std::map<std::wstring, Syntax> syntaxes;
    for (const std::wstring& description : attributeTypes) {
        std::wistringstream tokens(description);
        std::wstring token, name, syntax;
        while (tokens >> token) {
            if (token == L"NAME" && tokens >> token) {
                // NAME ( 'a' 'b' ): the first name is the display name.
                if (token == L"(") tokens >> token;
                name = Unquoted(token);
            } else if (token == L"SYNTAX" && tokens >> token) {
                syntax = Unquoted(token);
            }
        }
        if (!name.empty() && !syntax.empty()) syntaxes[Lower(name)] = FromLdapSyntax(syntax);
    }
    return syntaxes;
}

}  // namespace Provider
