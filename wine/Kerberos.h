// The SASL GSSAPI bind with which ADSI authenticates as the logged-on user.
// wldap32's own negotiate bind cannot be used under Wine: it names the
// service by the bare host name, which the KDC does not know. The exchange
// is driven here over ldap_sasl_bind_sW with the SPN ldap/<host>.
#pragma once

#include <windows.h>
#include <winldap.h>

#include <string>

namespace Provider {

// Binds ld for the service ldap/host. user empty: the Kerberos credentials
// already held (the ticket cache); else user@REALM or a bare name in the
// default realm, with password. Returns the LDAP result code. A failed
// security-package call gives LDAP_LOCAL_ERROR, and failureText names the
// call and its status. (Wine's package reports a refused password only as
// STATUS_UNSUCCESSFUL, which cannot be told from other failures.)
ULONG KerberosBind(LDAP* ld, const std::wstring& host, const std::wstring& user, const std::wstring& password,
                   std::wstring& failureText);

}  // namespace Provider
