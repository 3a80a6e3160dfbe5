#include "wine/Syntax.h"

#include <cwctype>

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

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
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
