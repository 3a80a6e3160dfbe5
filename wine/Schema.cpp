// The per-server schema: each server's attribute syntaxes, read from its
// abstract schema (the subschema entry that RootDSE names, as ADSI reads it)
// at the first look-up and kept for the process.
#include "wine/Connection.h"

#include "base/Scoped.h"

namespace Provider {

namespace {

const wchar_t NoSubschemaText[] = L"RootDSE names no subschemaSubentry";

// Complete reads by server key. The lock guards the map alone and is never
// held across a request: a server that stalls in its schema read must not
// hold up the look-ups of every other server, nor leave the lock taken when
// its thread is terminated (the dialog ends a worker that will not stop).
Scoped::CriticalSection& SchemaLock() {
    static Scoped::CriticalSection lock;
    return lock;
}

std::map<std::wstring, std::map<std::wstring, Syntax>>& Schemas() {
    static std::map<std::wstring, std::map<std::wstring, Syntax>> schemas;
    return schemas;
}

// Looks attribute up in the schema kept for key; false when none is kept.
bool FindKept(const std::wstring& key, const std::wstring& attribute, bool& known, Syntax& syntax) {
    Scoped::CriticalSection::Lock lock(SchemaLock());
    auto schema = Schemas().find(key);
    if (schema == Schemas().end()) return false;
    known = FindSyntax(schema->second, attribute, syntax);
    return true;
}

}  // namespace

HRESULT Connection::ReadSchema(std::map<std::wstring, Syntax>& syntaxes) {
    std::vector<Entry> entries;
    std::vector<std::wstring> wanted{L"subschemaSubentry"};
    HRESULT hr = Search(L"", LDAP_SCOPE_BASE, L"(objectClass=*)", &wanted, entries);
    if (FAILED(hr)) return hr;
    std::wstring subschema;
    for (const Entry& e : entries)
        for (const Attribute& a : e.attributes)
            if (SameAttributeName(a.name, wanted[0]) && !a.values.empty()) subschema = a.values[0];
    if (subschema.empty()) {
        m_noSubschema = true;
        return Failed(LDAP_NO_SUCH_OBJECT, NoSubschemaText, true);
    }
    wanted = {L"attributeTypes"};
    hr = Search(subschema, LDAP_SCOPE_BASE, L"(objectClass=*)", &wanted, entries);
    if (FAILED(hr)) return hr;
    for (const Entry& e : entries)
        for (const Attribute& a : e.attributes)
            if (SameAttributeName(a.name, wanted[0])) syntaxes = ParseAttributeTypes(a.values);
    return S_OK;
}

HRESULT Connection::LookUpSyntax(const std::wstring& attribute, bool& known, Syntax& syntax) {
    known = false;
    if (FindKept(m_key, attribute, known, syntax)) return S_OK;
    // Asked once per session: a RootDSE without a subschema will not grow
    // one, and asking again would cost a round trip on every value.
    if (m_noSubschema) return Failed(LDAP_NO_SUCH_OBJECT, NoSubschemaText, true);
    // Read without the lock; threads that meet the unread schema together
    // each read it, and the first complete read is the one kept.
    std::map<std::wstring, Syntax> syntaxes;
    HRESULT hr = ReadSchema(syntaxes);
    if (FAILED(hr)) return hr;
    // A subschema entry without attribute types knows no attribute: kept,
    // it would refuse every later value of the server for the process.
    if (syntaxes.empty()) return S_OK;
    Scoped::CriticalSection::Lock lock(SchemaLock());
    auto schema = Schemas().emplace(m_key, std::move(syntaxes)).first;
    known = FindSyntax(schema->second, attribute, syntax);
    return S_OK;
}

}  // namespace Provider
