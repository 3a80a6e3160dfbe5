#include "wine/AdsPath.h"

#include <adserr.h>

#include <cwctype>

namespace Provider {

namespace {

const wchar_t Prefix[] = L"LDAP://";
const size_t PrefixLength = 7;

bool EqualsNoCase(const std::wstring& a, const wchar_t* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    return i == a.size() && !b[i];
}

bool IsHostChar(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
           c == L'.' || c == L'-' || c == L'_';
}

bool IsValidServer(const std::wstring& server) {
    size_t colon = server.find(L':');
    std::wstring host = server.substr(0, colon);
    if (host.empty()) return false;
    for (wchar_t c : host)
        if (!IsHostChar(c)) return false;
    if (colon == std::wstring::npos) return true;
    std::wstring port = server.substr(colon + 1);
    if (port.empty() || port.size() > 5) return false;
    unsigned long value = 0;
    for (wchar_t c : port) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + (c - L'0');
    }
    return value >= 1 && value <= 65535;
}

bool IsAttributeTypeChar(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
           c == L'-' || c == L'.';
}

// Walks a DN's RDN components (separated by unescaped "," or "+" outside
// quotes) and checks each has the form type=value.
bool IsValidDn(const std::wstring& dn) {
    if (dn.empty()) return false;
    size_t start = 0;
    bool inQuotes = false;
    for (size_t i = 0; i <= dn.size(); ++i) {
        if (i < dn.size()) {
            wchar_t c = dn[i];
            if (c == L'\\') {
                if (++i >= dn.size()) return false;  // a trailing lone backslash
                continue;
            }
            if (c == L'"') {
                inQuotes = !inQuotes;
                continue;
            }
            if (inQuotes || (c != L',' && c != L'+')) continue;
        } else if (inQuotes) {
            return false;
        }
        std::wstring component = dn.substr(start, i - start);
        size_t first = component.find_first_not_of(L' ');
        size_t equals = component.find(L'=');
        if (first == std::wstring::npos || equals == std::wstring::npos || equals <= first) return false;
        size_t typeEnd = component.find_last_not_of(L' ', equals - 1);
        for (size_t k = first; k <= typeEnd; ++k)
            if (!IsAttributeTypeChar(component[k])) return false;
        start = i + 1;
    }
    return true;
}

// Index of the first "/" that no backslash escapes, or npos.
size_t FindUnescapedSlash(const std::wstring& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\\') {
            ++i;
            continue;
        }
        if (text[i] == L'/') return i;
    }
    return std::wstring::npos;
}

std::wstring UnescapeSlashes(const std::wstring& dn) {
    std::wstring out;
    out.reserve(dn.size());
    for (size_t i = 0; i < dn.size(); ++i) {
        if (dn[i] == L'\\' && i + 1 < dn.size()) {
            if (dn[i + 1] != L'/') out += L'\\';
            out += dn[++i];
            continue;
        }
        out += dn[i];
    }
    return out;
}

}  // namespace

HRESULT ParseAdsPath(const wchar_t* text, AdsPath& path) {
    if (!text) return E_ADS_BAD_PATHNAME;
    std::wstring whole(text);
    if (whole.compare(0, PrefixLength, Prefix) != 0) return E_ADS_BAD_PATHNAME;
    std::wstring rest = whole.substr(PrefixLength);

    AdsPath parsed;
    std::wstring dnPart = rest;
    size_t slash = FindUnescapedSlash(rest);
    if (slash != std::wstring::npos) {
        parsed.server = rest.substr(0, slash);
        dnPart = rest.substr(slash + 1);
        if (!IsValidServer(parsed.server)) return E_ADS_BAD_PATHNAME;
    }
    if (EqualsNoCase(dnPart, L"RootDSE")) {
        parsed.rootDse = true;
    } else {
        if (!IsValidDn(dnPart)) return E_ADS_BAD_PATHNAME;
        parsed.dn = UnescapeSlashes(dnPart);
    }
    path = std::move(parsed);
    return S_OK;
}

std::wstring MakeAdsPath(const std::wstring& server, const std::wstring& ldapDn) {
    std::wstring out = Prefix;
    if (!server.empty()) out += server + L"/";
    for (size_t i = 0; i < ldapDn.size(); ++i) {
        wchar_t c = ldapDn[i];
        if (c == L'\\' && i + 1 < ldapDn.size()) {
            out += c;
            out += ldapDn[++i];
            continue;
        }
        if (c == L'/') out += L'\\';
        out += c;
    }
    return out;
}

bool ParentDn(const std::wstring& dn, std::wstring& parent) {
    bool inQuotes = false;
    for (size_t i = 0; i < dn.size(); ++i) {
        wchar_t c = dn[i];
        if (c == L'\\') {
            ++i;
        } else if (c == L'"') {
            inQuotes = !inQuotes;
        } else if (c == L',' && !inQuotes) {
            size_t start = dn.find_first_not_of(L' ', i + 1);
            if (start == std::wstring::npos) return false;
            parent = dn.substr(start);
            return true;
        }
    }
    return false;
}

bool ParseRdn(const std::wstring& text, std::wstring& ldapRdn) {
    std::wstring parent;
    if (!IsValidDn(text) || ParentDn(text, parent)) return false;
    ldapRdn = UnescapeSlashes(text);
    return true;
}

}  // namespace Provider
