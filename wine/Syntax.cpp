#include "wine/Syntax.h"

#include "wine/Entry.h"

#include <cwctype>

namespace Provider {

namespace {

// The LDAP syntaxes of Active Directory's subschema with the VARIANT type
// that each one's page of "Active Directory syntaxes" gives, or where that
// page names none (or contradicts "Mapping Active Directory Syntax to ADSI
// Syntax") the ADSI type's entry in "ADSI Simple Data Types". Unsupported:
// what ADSI hands out as a COM object or a byte array, which this provider
// does not build.
struct LdapSyntax {
    const wchar_t* oid;
    Syntax syntax;
};

const LdapSyntax LdapSyntaxes[] = {
    {L"1.3.6.1.4.1.1466.115.121.1.7", Syntax::Boolean},   // Boolean: VT_BOOL
    {L"1.3.6.1.4.1.1466.115.121.1.27", Syntax::Integer},  // Integer, Enumeration: VT_I4
    {L"1.3.6.1.4.1.1466.115.121.1.12", Syntax::Dn},       // Object(DS-DN): VT_BSTR
    {L"1.3.6.1.4.1.1466.115.121.1.24", Syntax::Time},     // String(Generalized-Time): VT_DATE
    {L"1.3.6.1.4.1.1466.115.121.1.53", Syntax::Time},     // String(UTC-Time): VT_DATE
    // String(Unicode): its page says VT_UI1 | VT_ARRAY, the mapping page
    // Case Ignore String, an ADS_CASE_IGNORE_STRING (LPWSTR): VT_BSTR.
    {L"1.3.6.1.4.1.1466.115.121.1.15", Syntax::String},
    {L"1.3.6.1.4.1.1466.115.121.1.38", Syntax::String},  // String(Object-Identifier): VT_BSTR
    {L"1.3.6.1.4.1.1466.115.121.1.44", Syntax::String},  // String(Printable): VT_BSTR
    {L"1.3.6.1.4.1.1466.115.121.1.26", Syntax::String},  // String(IA5): VT_BSTR
    {L"1.3.6.1.4.1.1466.115.121.1.36", Syntax::String},  // String(Numeric): VT_BSTR
    {L"1.2.840.113556.1.4.905", Syntax::String},         // String(Teletex): VT_BSTR
    // String(Case Sensitive): its page names no type; the mapping page
    // Case Exact String, an ADS_CASE_EXACT_STRING (LPWSTR): VT_BSTR.
    {L"1.2.840.113556.1.4.1362", Syntax::String},
    {L"1.3.6.1.4.1.1466.115.121.1.43", Syntax::String},  // Object(Presentation-Address): VT_BSTR
    // String(Octet), String(Sid): VT_UI1 | VT_ARRAY; Object(Replica-Link):
    // VT_VARIANT of bytes.
    {L"1.3.6.1.4.1.1466.115.121.1.40", Syntax::Unsupported},
    {L"1.2.840.113556.1.4.906", Syntax::Unsupported},   // LargeInteger: VT_DISPATCH
    {L"1.2.840.113556.1.4.907", Syntax::Unsupported},   // String(NT-Sec-Desc): VT_DISPATCH
    {L"1.2.840.113556.1.4.903", Syntax::Unsupported},   // Object(DN-Binary): VT_DISPATCH
    {L"1.2.840.113556.1.4.1221", Syntax::Unsupported},  // Object(OR-Name): VT_DISPATCH
    {L"1.2.840.113556.1.4.904", Syntax::Unsupported},   // Object(DN-String): VT_DISPATCH
    {L"1.3.6.1.4.1.1466.115.121.1.2", Syntax::Unsupported},  // Object(Access-Point): none
};

Syntax FromLdapSyntax(const std::wstring& oid) {
    for (const LdapSyntax& row : LdapSyntaxes)
        if (oid == row.oid) return row.syntax;
    return Syntax::Unsupported;
}

std::wstring Unquoted(std::wstring token) {
    if (token.size() >= 2 && token.front() == L'\'' && token.back() == L'\'') token = token.substr(1, token.size() - 2);
    // A syntax may carry a length bound: "1.3.6.1.4.1.1466.115.121.1.15{64}".
    size_t brace = token.find(L'{');
    if (brace != std::wstring::npos) token.erase(brace);
    return token;
}

// The description's words, split at white space.
std::vector<std::wstring> Words(const std::wstring& text) {
    std::vector<std::wstring> words;
    std::wstring word;
    for (wchar_t c : text + L" ") {
        if (!std::iswspace(c)) {
            word += c;
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    return words;
}

}  // namespace

std::map<std::wstring, Syntax> ParseAttributeTypes(const std::vector<std::wstring>& attributeTypes) {
    std::map<std::wstring, Syntax> syntaxes;
    for (const std::wstring& description : attributeTypes) {
        std::vector<std::wstring> words = Words(description);
        std::wstring name, syntax;
        for (size_t i = 0; i + 1 < words.size(); ++i) {
            if (words[i] == L"NAME") {
                // NAME ( 'a' 'b' ): the first name is the display name.
                size_t at = words[i + 1] == L"(" ? i + 2 : i + 1;
                if (at < words.size()) name = Unquoted(words[at]);
            } else if (words[i] == L"SYNTAX") {
                syntax = Unquoted(words[i + 1]);
            }
        }
        if (!name.empty() && !syntax.empty()) syntaxes[Lower(name)] = FromLdapSyntax(syntax);
    }
    return syntaxes;
}

bool FindSyntax(const std::map<std::wstring, Syntax>& syntaxes, const std::wstring& attribute, Syntax& syntax) {
    auto found = syntaxes.find(Lower(attribute));
    if (found == syntaxes.end()) return false;
    syntax = found->second;
    return true;
}

}  // namespace Provider
