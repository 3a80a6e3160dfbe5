// The operation log that the benchmarks count: one line per bind and per
// LDAP request, "<operation> <server> <dn>", appended to WINEADSI_STATS.
#pragma once

#include <string>

namespace Provider {

void RecordOperation(const wchar_t* operation, const std::wstring& server, const std::wstring& dn);

}  // namespace Provider
