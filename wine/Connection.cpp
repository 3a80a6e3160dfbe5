#include "wine/Connection.h"

#include "wine/Kerberos.h"
#include "wine/LastError.h"
#include "wine/ResultCodes.h"
#include "wine/Settings.h"
#include "wine/Stats.h"

#include <winber.h>

#include <memory>

namespace Provider {

namespace {

// Sessions by server key. Guarded by g_poolLock, which also guards every
// session's reference count so that a lookup never revives a dying session.
SRWLOCK g_poolLock = SRWLOCK_INIT;
std::map<std::wstring, Connection*>& Pool() {
    static std::map<std::wstring, Connection*> pool;
    return pool;
}

class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) : m_lock(lock) { ::AcquireSRWLockExclusive(&m_lock); }
    ~ExclusiveLock() { ::ReleaseSRWLockExclusive(&m_lock); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& m_lock;
};

std::wstring FromUtf8(const char* bytes, ULONG length) {
    if (length == 0) return std::wstring();
    int n = ::MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(length), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring text(n, L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(length), &text[0], n);
    return text;
}

PWCHAR Mutable(const std::wstring& text) { return const_cast<PWCHAR>(text.c_str()); }

Entry ReadEntry(LDAP* ld, LDAPMessage* message) {
    Entry entry;
    if (PWCHAR dn = ldap_get_dnW(ld, message)) {
        entry.dn = dn;
        ldap_memfreeW(dn);
    }
    BerElement* ber = nullptr;
    for (PWCHAR name = ldap_first_attributeW(ld, message, &ber); name;
         name = ldap_next_attributeW(ld, message, ber)) {
        Attribute attribute;
        attribute.name = name;
        // Raw values, converted here: ldap_get_valuesW would stop at the
        // first NUL of a binary value.
        if (berval** values = ldap_get_values_lenW(ld, message, name)) {
            for (berval** v = values; *v; ++v)
                attribute.values.push_back(FromUtf8((*v)->bv_val, (*v)->bv_len));
            ldap_value_free_len(values);
        }
        ldap_memfreeW(name);
        entry.attributes.push_back(std::move(attribute));
    }
    if (ber) ber_free(ber, 0);
    return entry;
}

// The code of an operation that got no answer at all, from the session
// (LdapGetLastError is the thread's Win32 code, not an LDAP result code). A
// connection that cannot be made or is lost leaves no code of the table
// there (Wine 8 gives its LDAP library's own -1); ADSI reports that as the
// server being down.
ULONG TransportFailure(LDAP* ld) {
    ULONG code = LDAP_SUCCESS;
    if (ldap_get_optionW(ld, LDAP_OPT_ERROR_NUMBER, &code) != LDAP_SUCCESS) code = LDAP_SUCCESS;
    return code != LDAP_SUCCESS && IsLdapResultCode(code) ? code : ULONG(LDAP_SERVER_DOWN);
}

}  // namespace

Connection::Connection(const std::wstring& key, const std::wstring& host, ULONG port) : m_key(key), m_host(host) {
    m_ld = ldap_initW(Mutable(host), port);
    if (!m_ld) return;
    ULONG version = LDAP_VERSION3;
    ldap_set_optionW(m_ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    // Referrals to the DNS partitions would make wldap32 bind elsewhere on
    // its own; ADSI's default search sees the entries of this server only.
    // A write is never chased either: ADSI's referral options (the search
    // preference ADS_SEARCHPREF_CHASE_REFERRALS and ADS_OPTION_REFERRALS for
    // enumeration) say nothing of commits, and a commit refused with a
    // referral (a DC without the schema role) comes back as 0x8007202B with
    // the server's text, the way the error table gives result code 10.
    ldap_set_optionW(m_ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
}

Connection::~Connection() {
    if (m_ld) ldap_unbind(m_ld);
}

HRESULT Connection::Acquire(const std::wstring& server, Connection** connection) {
    *connection = nullptr;
    Settings settings = ReadSettings();
    std::wstring target = server.empty() ? settings.server : server;
    if (target.empty()) {
        // No domain to locate a controller in: what ADSI says on a machine
        // outside any domain.
        RecordFailure(ERROR_NO_SUCH_DOMAIN, L"WINEADSI_SERVER names no server for a serverless path");
        return HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN);
    }
    size_t colon = target.find(L':');
    std::wstring host = target.substr(0, colon);
    ULONG port = colon == std::wstring::npos ? LDAP_PORT : std::wcstoul(target.c_str() + colon + 1, nullptr, 10);
    std::wstring key = Lower(host) + L":" + std::to_wstring(port);

    {
        ExclusiveLock pool(g_poolLock);
        if ((*connection = Shared(key))) return S_OK;
    }
    // Opened and bound without the pool's lock: a server that hangs in the
    // bind must not hold up the binds, references and releases of other
    // threads, nor leave the lock taken when its thread is terminated.
    auto close = [](Connection* c) { delete c; };
    std::unique_ptr<Connection, decltype(close)> fresh(nullptr, close);
    {
        OperationRecord record(L"connect", key, host);
        fresh.reset(new Connection(key, host, port));
    }
    if (!fresh->m_ld) {
        RecordFailure(ERROR_DS_LOCAL_ERROR, std::wstring());
        return HRESULT_FROM_WIN32(ERROR_DS_LOCAL_ERROR);
    }
    HRESULT hr = fresh->Bind(settings);
    if (FAILED(hr)) return hr;
    {
        ExclusiveLock pool(g_poolLock);
        // Another thread may have bound the same server meanwhile: its
        // session serves, and this one is closed once the lock is let go.
        if ((*connection = Shared(key))) return S_OK;
        Pool().emplace(key, fresh.get());
        *connection = fresh.release();
    }
    return S_OK;
}

Connection* Connection::Shared(const std::wstring& key) {
    auto found = Pool().find(key);
    if (found == Pool().end()) return nullptr;
    ++found->second->m_refs;
    return found->second;
}

void Connection::AddRef() {
    ExclusiveLock pool(g_poolLock);
    ++m_refs;
}

void Connection::Release() {
    {
        ExclusiveLock pool(g_poolLock);
        if (--m_refs > 0) return;
        Pool().erase(m_key);
    }
    delete this;
}

HRESULT Connection::Bind(const Settings& settings) {
    const std::wstring& user = settings.user;
    OperationRecord record(L"bind", m_key, user);
    if (::lstrcmpiW(settings.auth.c_str(), L"kerberos") == 0) {
        std::wstring failureText;
        ULONG code = KerberosBind(m_ld, m_host, user, settings.password, failureText);
        return code == LDAP_SUCCESS ? S_OK : Failed(code, failureText, true);
    }
    if (!settings.auth.empty() && ::lstrcmpiW(settings.auth.c_str(), L"simple") != 0)
        return Failed(LDAP_AUTH_METHOD_NOT_SUPPORTED, L"WINEADSI_AUTH is neither simple nor kerberos", true);
    // The asynchronous bind, so that a refusal comes with the server's text.
    ULONG msgid = ldap_simple_bindW(m_ld, user.empty() ? nullptr : Mutable(user),
                                    user.empty() ? nullptr : Mutable(settings.password));
    if (msgid == static_cast<ULONG>(-1)) return Failed(TransportFailure(m_ld), std::wstring(), true);
    Message answer;
    return Complete(msgid, answer, true);
}

HRESULT Connection::Failed(ULONG ldapCode, const std::wstring& serverText, bool recordFailure) {
    if (ldapCode == LDAP_SUCCESS) ldapCode = LDAP_LOCAL_ERROR;
    if (recordFailure) RecordFailure(LdapToWin32(ldapCode), serverText);
    return LdapToHResult(ldapCode);
}

HRESULT Connection::Complete(ULONG msgid, Message& answer, bool recordFailure) {
    answer.reset();
    LDAPMessage* raw = nullptr;
    ULONG type = ldap_result(m_ld, msgid, LDAP_MSG_ALL, nullptr, &raw);
    Message result(raw);
    if (type == 0 || type == static_cast<ULONG>(-1) || !result)
        return Failed(TransportFailure(m_ld), std::wstring(), recordFailure);
    ULONG code = LDAP_SUCCESS;
    PWCHAR matched = nullptr;
    PWCHAR text = nullptr;
    ULONG parsed = ldap_parse_resultW(m_ld, result.get(), &code, &matched, &text, nullptr, nullptr, FALSE);
    std::wstring serverText = text ? text : L"";
    if (matched) ldap_memfreeW(matched);
    if (text) ldap_memfreeW(text);
    if (parsed != LDAP_SUCCESS) return Failed(parsed, serverText, recordFailure);
    if (code != LDAP_SUCCESS) return Failed(code, serverText, recordFailure);
    answer = std::move(result);
    return S_OK;
}

HRESULT Connection::Search(const std::wstring& base, ULONG scope, const std::wstring& filter,
                           const std::vector<std::wstring>* attributes, std::vector<Entry>& entries,
                           bool recordFailure) {
    entries.clear();
    std::vector<PWCHAR> names;
    if (attributes) {
        for (const std::wstring& name : *attributes) names.push_back(Mutable(name));
        names.push_back(nullptr);
    }
    ExclusiveLock lock(m_lock);
    OperationRecord record(L"search", m_key, base);
    ULONG msgid = 0;
    ULONG code = ldap_search_extW(m_ld, Mutable(base), scope, Mutable(filter),
                                  attributes ? names.data() : nullptr, FALSE, nullptr, nullptr,
                                  LDAP_NO_LIMIT, LDAP_NO_LIMIT, &msgid);
    if (code != LDAP_SUCCESS) return Failed(code, std::wstring(), recordFailure);
    Message answer;
    HRESULT hr = Complete(msgid, answer, recordFailure);
    if (FAILED(hr)) return hr;
    for (LDAPMessage* e = ldap_first_entry(m_ld, answer.get()); e; e = ldap_next_entry(m_ld, e))
        entries.push_back(ReadEntry(m_ld, e));
    return S_OK;
}

HRESULT Connection::Change(const wchar_t* operation, const std::wstring& dn,
                           const std::vector<Attribute>& attributes, ULONG modOp) {
    // wldap32 wants mutable arrays of mutable strings; they point into
    // attributes, which outlives the request.
    std::vector<std::vector<PWCHAR>> values(attributes.size());
    std::vector<LDAPModW> mods(attributes.size());
    std::vector<LDAPModW*> modList;
    for (size_t i = 0; i < attributes.size(); ++i) {
        for (const std::wstring& v : attributes[i].values) values[i].push_back(Mutable(v));
        values[i].push_back(nullptr);
        mods[i].mod_op = modOp;
        mods[i].mod_type = Mutable(attributes[i].name);
        mods[i].mod_vals.modv_strvals = values[i].data();
        modList.push_back(&mods[i]);
    }
    modList.push_back(nullptr);

    ExclusiveLock lock(m_lock);
    OperationRecord record(operation, m_key, dn);
    ULONG msgid = 0;
    ULONG code = modOp == LDAP_MOD_ADD
                     ? ldap_add_extW(m_ld, Mutable(dn), modList.data(), nullptr, nullptr, &msgid)
                     : ldap_modify_extW(m_ld, Mutable(dn), modList.data(), nullptr, nullptr, &msgid);
    if (code != LDAP_SUCCESS) return Failed(code, std::wstring(), true);
    Message answer;
    return Complete(msgid, answer, true);
}

HRESULT Connection::Add(const std::wstring& dn, const std::vector<Attribute>& attributes) {
    return Change(L"add", dn, attributes, LDAP_MOD_ADD);
}

HRESULT Connection::Modify(const std::wstring& dn, const std::vector<Attribute>& attributes) {
    return Change(L"modify", dn, attributes, LDAP_MOD_REPLACE);
}

}  // namespace Provider
