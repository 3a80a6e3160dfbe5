#include "wine/LastError.h"

#include <oleauto.h>
#include <iads.h>
#include <adshlp.h>
#include <adserr.h>

#include <algorithm>
#include <new>

namespace Provider {

const wchar_t ProviderName[] = L"LDAP Provider";

namespace {

struct Record {
    DWORD code = ERROR_SUCCESS;
    std::wstring text;
    std::wstring provider;
};

DWORD g_slot = TLS_OUT_OF_INDEXES;

Record* CurrentRecord(bool create) {
    if (g_slot == TLS_OUT_OF_INDEXES) return nullptr;
    auto* record = static_cast<Record*>(::TlsGetValue(g_slot));
    if (!record && create) {
        record = new (std::nothrow) Record;
        if (record && !::TlsSetValue(g_slot, record)) {
            delete record;
            record = nullptr;
        }
    }
    return record;
}

// The Win32 code that an AD server puts at the front of its diagnostic text
// ("00002071: UpdErr: ..."): eight hex digits and a colon. False when the
// text does not start that way.
bool LeadingCode(const std::wstring& text, DWORD& code) {
    const size_t digits = 8;
    if (text.size() <= digits || text[digits] != L':') return false;
    DWORD parsed = 0;
    for (size_t i = 0; i < digits; ++i) {
        const wchar_t c = text[i];
        const int value = c >= L'0' && c <= L'9'   ? c - L'0'
                          : c >= L'A' && c <= L'F' ? c - L'A' + 10
                          : c >= L'a' && c <= L'f' ? c - L'a' + 10
                                                   : -1;
        if (value < 0) return false;
        parsed = parsed << 4 | static_cast<DWORD>(value);
    }
    code = parsed;
    return true;
}

// Copies text into a caller's buffer of length wide characters, always
// terminated, cut short if it does not fit.
void CopyTruncated(const std::wstring& text, LPWSTR buffer, DWORD length) {
    if (!buffer || length == 0) return;
    size_t n = std::min<size_t>(text.size(), length - 1);
    text.copy(buffer, n);
    buffer[n] = L'\0';
}

}  // namespace

void LastErrorAttachProcess() { g_slot = ::TlsAlloc(); }

void LastErrorDetachThread() {
    if (g_slot == TLS_OUT_OF_INDEXES) return;
    delete static_cast<Record*>(::TlsGetValue(g_slot));
    ::TlsSetValue(g_slot, nullptr);
}

void LastErrorDetachProcess() {
    LastErrorDetachThread();
    if (g_slot != TLS_OUT_OF_INDEXES) ::TlsFree(g_slot);
    g_slot = TLS_OUT_OF_INDEXES;
}

void RecordFailure(DWORD win32Code, const std::wstring& serverText) {
    // ADSI reports the server's own code where its text gives one (the
    // example of "ADsGetLastError function": 8305 for "00002071: ...").
    DWORD code = 0;
    if (!LeadingCode(serverText, code)) code = win32Code;
    ADsSetLastError(code, serverText.c_str(), ProviderName);
}

}  // namespace Provider

using Provider::CopyTruncated;

extern "C" VOID WINAPI ADsSetLastError(DWORD dwErr, LPCWSTR pszError, LPCWSTR pszProvider) {
    Provider::Record* record = Provider::CurrentRecord(true);
    if (!record) return;
    try {
        record->code = dwErr;
        record->text = pszError ? pszError : L"";
        record->provider = pszProvider ? pszProvider : L"";
    } catch (...) {
        // Out of memory: keep the code, drop texts we cannot hold.
        record->text.clear();
        record->provider.clear();
    }
}

extern "C" HRESULT WINAPI ADsGetLastError(LPDWORD lpError, LPWSTR lpErrorBuf, DWORD dwErrorBufLen,
                                          LPWSTR lpNameBuf, DWORD dwNameBufLen) {
    if (!lpError) return E_ADS_BAD_PARAMETER;
    static const std::wstring empty;
    const Provider::Record* record = Provider::CurrentRecord(false);
    *lpError = record ? record->code : ERROR_SUCCESS;
    CopyTruncated(record ? record->text : empty, lpErrorBuf, dwErrorBufLen);
    CopyTruncated(record ? record->provider : empty, lpNameBuf, dwNameBufLen);
    return S_OK;
}
