#include "wine/Kerberos.h"

#define SECURITY_WIN32
#include <sspi.h>
#include <winber.h>

#include <cstdio>
#include <cwctype>
#include <vector>

namespace Provider {

namespace {

// A credential or context handle, freed with its own function once the
// call that fills it has succeeded.
template <SECURITY_STATUS(SEC_ENTRY* Free)(PSecHandle)>
struct SecurityHandle {
    SecurityHandle() = default;
    ~SecurityHandle() {
        if (held) Free(&handle);
    }
    SecurityHandle(const SecurityHandle&) = delete;
    SecurityHandle& operator=(const SecurityHandle&) = delete;

    SecHandle handle{};
    bool held = false;
};
using Credentials = SecurityHandle<::FreeCredentialsHandle>;
using Context = SecurityHandle<::DeleteSecurityContext>;

SECURITY_STATUS Acquire(Credentials& credentials, SEC_WINNT_AUTH_IDENTITY_W* identity) {
    TimeStamp expiry;
    SECURITY_STATUS status =
        ::AcquireCredentialsHandleW(nullptr, const_cast<SEC_WCHAR*>(L"Kerberos"), SECPKG_CRED_OUTBOUND, nullptr,
                                    identity, nullptr, nullptr, &credentials.handle, &expiry);
    credentials.held = status == SEC_E_OK;
    return status;
}

// Without mutual authentication one call completes the context: the
// server's reply is never needed (wldap32 drops it anyway).
SECURITY_STATUS Initialize(Credentials& credentials, Context& context, const std::wstring& target,
                           std::vector<BYTE>& token) {
    token.resize(48000);  // Kerberos's largest token
    SecBuffer out{static_cast<ULONG>(token.size()), SECBUFFER_TOKEN, token.data()};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
    ULONG attributes = 0;
    TimeStamp expiry;
    SECURITY_STATUS status = ::InitializeSecurityContextW(
        &credentials.handle, nullptr, const_cast<SEC_WCHAR*>(target.c_str()), 0, 0, SECURITY_NATIVE_DREP, nullptr,
        0, &context.handle, &outDesc, &attributes, &expiry);
    context.held = status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED;
    if (FAILED(status)) return status;
    // The size handed back is the package's word only.
    if (out.cbBuffer > token.size()) return SEC_E_BUFFER_TOO_SMALL;
    token.resize(out.cbBuffer);
    return status;
}

// The client's answer to the server's offer of security layers: "no layer,
// no maximum size", integrity-protected but not encrypted.
SECURITY_STATUS WrapNoLayer(Context& context, std::vector<BYTE>& wire, const wchar_t*& call) {
    SecPkgContext_Sizes sizes{};
    call = L"QueryContextAttributes";
    SECURITY_STATUS status = ::QueryContextAttributesW(&context.handle, SECPKG_ATTR_SIZES, &sizes);
    if (status != SEC_E_OK) return status;
    std::vector<BYTE> trailer(sizes.cbSecurityTrailer);
    BYTE data[4] = {1, 0, 0, 0};
    SecBuffer buffers[2] = {{static_cast<ULONG>(trailer.size()), SECBUFFER_TOKEN, trailer.data()},
                            {sizeof data, SECBUFFER_DATA, data}};
    SecBufferDesc desc{SECBUFFER_VERSION, 2, buffers};
    call = L"EncryptMessage";
    status = ::EncryptMessage(&context.handle, SECQOP_WRAP_NO_ENCRYPT, &desc, 0);
    if (status != SEC_E_OK) return status;
    // Never read past the buffers given to the package, whatever sizes it
    // hands back.
    if (buffers[0].cbBuffer > trailer.size() || buffers[1].cbBuffer > sizeof data)
        return SEC_E_BUFFER_TOO_SMALL;
    // Wine's Kerberos package hands back the gss_wrap output split as
    // DATA = its first bytes and TOKEN = the rest: the wire form is the data
    // followed by the token.
    wire.assign(data, data + buffers[1].cbBuffer);
    wire.insert(wire.end(), trailer.data(), trailer.data() + buffers[0].cbBuffer);
    return SEC_E_OK;
}

ULONG Step(LDAP* ld, std::vector<BYTE>& token) {
    static char none[1];
    BERVAL credential{static_cast<ULONG>(token.size()), token.empty() ? none : reinterpret_cast<PCHAR>(token.data())};
    BERVAL* reply = nullptr;
    ULONG code = ldap_sasl_bind_sW(ld, const_cast<PWCHAR>(L""), const_cast<PWCHAR>(L"GSSAPI"), &credential,
                                   nullptr, nullptr, &reply);
    if (reply) ber_bvfree(reply);
    return code;
}

ULONG SecurityFailure(const wchar_t* call, SECURITY_STATUS status, std::wstring& failureText) {
    wchar_t text[96];
    std::swprintf(text, 96, L"%ls failed (0x%08lX)", call, static_cast<unsigned long>(status));
    failureText = text;
    return LDAP_LOCAL_ERROR;
}

}  // namespace

ULONG KerberosBind(LDAP* ld, const std::wstring& host, const std::wstring& user, const std::wstring& password,
                   std::wstring& failureText) {
    failureText.clear();
    // user@REALM: the realm is the DNS domain in upper case.
    std::wstring name = user, realm;
    size_t at = user.rfind(L'@');
    if (at != std::wstring::npos) {
        name = user.substr(0, at);
        for (wchar_t c : user.substr(at + 1)) realm += static_cast<wchar_t>(std::towupper(c));
    }
    SEC_WINNT_AUTH_IDENTITY_W identity{};
    identity.User = reinterpret_cast<unsigned short*>(const_cast<wchar_t*>(name.c_str()));
    identity.UserLength = static_cast<unsigned long>(name.size());
    identity.Domain = reinterpret_cast<unsigned short*>(const_cast<wchar_t*>(realm.c_str()));
    identity.DomainLength = static_cast<unsigned long>(realm.size());
    identity.Password = reinterpret_cast<unsigned short*>(const_cast<wchar_t*>(password.c_str()));
    identity.PasswordLength = static_cast<unsigned long>(password.size());
    identity.Flags = SEC_WINNT_AUTH_IDENTITY_UNICODE;

    Credentials credentials;
    SECURITY_STATUS status = Acquire(credentials, user.empty() ? nullptr : &identity);
    if (status != SEC_E_OK) return SecurityFailure(L"AcquireCredentialsHandle", status, failureText);
    Context context;
    std::vector<BYTE> token;
    status = Initialize(credentials, context, L"ldap/" + host, token);
    if (status != SEC_E_OK) return SecurityFailure(L"InitializeSecurityContext", status, failureText);

    // The context's token, then an empty message for the server's offer of
    // security layers, then the answer to it.
    ULONG code = Step(ld, token);
    if (code != LDAP_SASL_BIND_IN_PROGRESS) return code;
    token.clear();
    code = Step(ld, token);
    if (code != LDAP_SASL_BIND_IN_PROGRESS) return code;
    const wchar_t* call = L"";
    status = WrapNoLayer(context, token, call);
    if (status != SEC_E_OK) return SecurityFailure(call, status, failureText);
    code = Step(ld, token);
    if (code == LDAP_SASL_BIND_IN_PROGRESS) {
        failureText = L"the server did not complete the SASL GSSAPI bind";
        return LDAP_LOCAL_ERROR;
    }
    return code;
}

}  // namespace Provider
