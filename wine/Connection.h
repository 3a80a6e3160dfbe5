// One bound LDAP session per server, shared by every object bound on it and
// closed when the last of them is released. Each request holds the session's
// lock from send to result, so objects on different threads may share it.
#pragma once

#include "wine/Entry.h"
#include "wine/Settings.h"
#include "wine/Syntax.h"

#include <windows.h>
#include <winldap.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Provider {

// Everything wldap32 hands back is freed through its own allocator.
struct MessageDeleter {
    void operator()(LDAPMessage* m) const { ldap_msgfree(m); }
};
using Message = std::unique_ptr<LDAPMessage, MessageDeleter>;

class Connection {
public:
    // Finds the live session for server (empty: the configured server) or
    // opens and binds a new one. On failure *connection is null and the
    // thread's extended error describes the failure.
    static HRESULT Acquire(const std::wstring& server, Connection** connection);

    void AddRef();
    void Release();

    // Base, one-level or subtree search; attributes null asks for all.
    // recordFailure false keeps the thread's extended error untouched (for
    // look-ups the caller does not see).
    HRESULT Search(const std::wstring& base, ULONG scope, const std::wstring& filter,
                   const std::vector<std::wstring>* attributes, std::vector<Entry>& entries,
                   bool recordFailure = true);
    HRESULT Add(const std::wstring& dn, const std::vector<Attribute>& attributes);
    HRESULT Modify(const std::wstring& dn, const std::vector<Attribute>& attributes);

    // The attribute's syntax from the server's abstract schema, which is
    // read at the first look-up for the server and kept for the process, as
    // ADSI keeps its schema cache (Schema.cpp). known is false for a name
    // the schema does not have. A failed read is the caller's failure
    // (extended error set) and an empty one knows no name; neither is kept,
    // so the next look-up reads again. A server whose RootDSE names no
    // subschema fails every look-up of the session without asking again.
    HRESULT LookUpSyntax(const std::wstring& attribute, bool& known, Syntax& syntax);

private:
    Connection(const std::wstring& key, const std::wstring& host, ULONG port);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The pooled session of key with one more reference, or null. Called
    // with the pool's lock held.
    static Connection* Shared(const std::wstring& key);
    // A simple bind, or with WINEADSI_AUTH=kerberos the SASL GSSAPI bind.
    HRESULT Bind(const Settings& settings);
    // Waits for the complete answer to msgid and turns its result code into
    // an HRESULT, recording the server's text when it fails.
    HRESULT Complete(ULONG msgid, Message& answer, bool recordFailure);
    HRESULT Failed(ULONG ldapCode, const std::wstring& serverText, bool recordFailure);
    HRESULT Change(const wchar_t* operation, const std::wstring& dn,
                   const std::vector<Attribute>& attributes, ULONG modOp);
    HRESULT ReadSchema(std::map<std::wstring, Syntax>& syntaxes);

    std::wstring m_key;  // host:port, lower case
    std::wstring m_host;
    LDAP* m_ld = nullptr;
    LONG m_refs = 1;
    SRWLOCK m_lock = SRWLOCK_INIT;
    std::atomic<bool> m_noSubschema{false};
};

}  // namespace Provider
