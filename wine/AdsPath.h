// ADsPaths of the LDAP provider: LDAP://DN, LDAP://server[:port]/DN,
// LDAP://RootDSE and LDAP://server/RootDSE. Inside an ADsPath a "/" in the
// DN is written "\/"; the LDAP form of the DN has it bare.
#pragma once

#include <windows.h>

#include <string>

namespace Provider {

struct AdsPath {
    std::wstring server;  // host[:port] as written; empty for a serverless path
    std::wstring dn;      // LDAP form; empty for RootDSE
    bool rootDse = false;
};

// S_OK, or E_ADS_BAD_PATHNAME for anything that is not one of the forms above.
HRESULT ParseAdsPath(const wchar_t* text, AdsPath& path);

// "LDAP://" [server "/"] DN, with "/" escaped.
std::wstring MakeAdsPath(const std::wstring& server, const std::wstring& ldapDn);

// The DN without its first RDN (escapes and quoted values respected); false
// for a DN of one RDN.
bool ParentDn(const std::wstring& dn, std::wstring& parent);

// True when text is one relative name (type=value) in ADsPath form; its LDAP
// form goes to ldapRdn.
bool ParseRdn(const std::wstring& text, std::wstring& ldapRdn);

}  // namespace Provider
