// The extended error of the calling thread, as ADsGetLastError reports it.
// Each thread has its own record, kept in a TLS slot that DllMain manages.
#pragma once

#include <windows.h>

#include <string>

namespace Provider {

extern const wchar_t ProviderName[];  // "LDAP Provider"

void LastErrorAttachProcess();
void LastErrorDetachThread();
void LastErrorDetachProcess();

// Records a failed LDAP operation: the code at the front of the server's text
// where it has one, else the Win32 code of the result, and the text itself.
void RecordFailure(DWORD win32Code, const std::wstring& serverText);

}  // namespace Provider
