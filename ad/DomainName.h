// The domain name that the extension appends to the schema container's path.
#pragma once

#include <string>

namespace AD {

// The "DC=" parts of a directory path joined by ",": for each ","-separated
// token, the part from its first upper-case "DC=" to the token's end. For
// LDAP://CN=DC1,CN=Servers,...,DC=example,DC=com this is DC=example,DC=com.
// Empty when the path holds no "DC=".
std::wstring ExtractDomainName(const std::wstring& path);

}  // namespace AD
