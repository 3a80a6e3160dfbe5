// LDAP result codes as ADSI's LDAP provider reports them. wldap32's own
// LdapMapErrorToWin32 disagrees with ADSI on several codes (68, 16, ...), so
// the provider carries ADSI's table itself.
#pragma once

#include <windows.h>

namespace Provider {

// The Win32 code ADSI gives for an LDAP result code (ERROR_GEN_FAILURE for
// a code it does not know).
DWORD LdapToWin32(ULONG ldapCode);

// Whether ldapCode is a result code of the table at all.
bool IsLdapResultCode(ULONG ldapCode);

inline HRESULT LdapToHResult(ULONG ldapCode) {
    return ldapCode == 0 ? S_OK : HRESULT_FROM_WIN32(LdapToWin32(ldapCode));
}

}  // namespace Provider
