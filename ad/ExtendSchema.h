// The whole directory work of the setup job.
#pragma once

#include <windows.h>

#include <string>

namespace AD {

// Binds "LDAP://CN=Schema,CN=Configuration," + domainName, creates every
// attribute of NewAttributes (existing ones tolerated) and then the class,
// retrying the class every 5000 ms for up to 300000 ms while the directory
// does not know the attribute yet. cancelEvent (borrowed; null counts as set)
// is tested before each creation; a stop returns normally. Failures throw
// HResultException with the failed step's message.
void ExtendSchema(const std::wstring& domainName, HANDLE cancelEvent);

}  // namespace AD
