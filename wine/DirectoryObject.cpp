#include "wine/DirectoryObject.h"

#include "wine/AdsPath.h"
#include "wine/LastError.h"
#include "wine/SearchState.h"
#include "wine/Variants.h"

#include <adserr.h>

namespace Provider {

DirectoryObject::DirectoryObject(Connection* connection, std::wstring server, std::wstring dn, bool rootDse,
                                 bool bound, std::wstring objectClass)
    : m_connection(connection),
      m_server(std::move(server)),
      m_dn(std::move(dn)),
      m_rootDse(rootDse),
      m_bound(bound),
      m_class(std::move(objectClass)) {}

DirectoryObject::~DirectoryObject() {
    m_searches.clear();
    m_connection->Release();
}

HRESULT WINAPI DirectoryObject::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IADs) {
        *object = static_cast<IADs*>(this);
    } else if (!m_rootDse && riid == IID_IADsContainer) {
        *object = static_cast<IADsContainer*>(this);
    } else if (!m_rootDse && riid == IID_IDirectorySearch) {
        *object = static_cast<IDirectorySearch*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG WINAPI DirectoryObject::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&m_refs)); }

ULONG WINAPI DirectoryObject::Release() {
    LONG refs = ::InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
}

HRESULT WINAPI DirectoryObject::GetTypeInfoCount(UINT*) { return E_NOTIMPL; }
HRESULT WINAPI DirectoryObject::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
HRESULT WINAPI DirectoryObject::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
HRESULT WINAPI DirectoryObject::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return E_NOTIMPL;
}

HRESULT WINAPI DirectoryObject::get_Name(BSTR*) { return E_NOTIMPL; }
HRESULT WINAPI DirectoryObject::get_Class(BSTR*) { return E_NOTIMPL; }
HRESULT WINAPI DirectoryObject::get_GUID(BSTR*) { return E_NOTIMPL; }
HRESULT WINAPI DirectoryObject::get_Schema(BSTR*) { return E_NOTIMPL; }
HRESULT WINAPI DirectoryObject::GetEx(BSTR, VARIANT*) { return E_NOTIMPL; }
HRESULT WINAPI DirectoryObject::PutEx(LONG, BSTR, VARIANT) { return E_NOTIMPL; }
HRESULT WINAPI DirectoryObject::GetInfoEx(VARIANT, LONG) { return E_NOTIMPL; }

namespace {

HRESULT ReturnString(const std::wstring& text, BSTR* retval) {
    *retval = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *retval ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

HRESULT WINAPI DirectoryObject::get_ADsPath(BSTR* retval) {
    if (!retval) return E_ADS_BAD_PARAMETER;
    *retval = nullptr;
    return Guarded([&] {
        if (m_rootDse)
            return ReturnString(L"LDAP://" + (m_server.empty() ? std::wstring() : m_server + L"/") + L"RootDSE",
                                retval);
        return ReturnString(MakeAdsPath(m_server, m_dn), retval);
    });
}

HRESULT WINAPI DirectoryObject::get_Parent(BSTR* retval) {
    if (!retval) return E_ADS_BAD_PARAMETER;
    *retval = nullptr;
    return Guarded([&] {
        std::wstring parent;
        // The root of the tree (and RootDSE) has the namespace as its parent.
        if (m_rootDse || !ParentDn(m_dn, parent)) return ReturnString(L"LDAP:", retval);
        return ReturnString(MakeAdsPath(m_server, parent), retval);
    });
}

HRESULT DirectoryObject::Load(bool keepChanges) {
    if (!m_bound) return E_ADS_OBJECT_UNBOUND;
    std::vector<Entry> entries;
    HRESULT hr = m_connection->Search(m_dn, LDAP_SCOPE_BASE, L"(objectClass=*)", nullptr, entries);
    if (FAILED(hr)) return hr;
    if (entries.empty()) {
        RecordFailure(ERROR_DS_NO_SUCH_OBJECT, std::wstring());
        return HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT);
    }
    m_cache.Load(entries.front(), keepChanges);
    return S_OK;
}

HRESULT DirectoryObject::SyntaxOf(const std::wstring& name, Syntax& syntax) {
    if (m_rootDse) {
        syntax = Syntax::Operational;
        return S_OK;
    }
    bool known = false;
    HRESULT hr = m_connection->LookUpSyntax(name, known, syntax);
    if (FAILED(hr)) return hr;
    // Without the attribute in the schema there is no syntax to convert by:
    // the corrective action that "Generic ADSI Error Codes" gives for
    // E_ADS_CANT_CONVERT_DATATYPE is sufficient schema data.
    return known ? S_OK : E_ADS_CANT_CONVERT_DATATYPE;
}

HRESULT WINAPI DirectoryObject::GetInfo() {
    return Guarded([&] { return Load(false); });
}

HRESULT WINAPI DirectoryObject::Get(BSTR name, VARIANT* value) {
    if (!name || !value) return E_ADS_BAD_PARAMETER;
    return Guarded([&] {
        // A bound object comes loaded from ADsGetObject, or loads on its first
        // Get after a SetInfo that created it; a new object has only what was
        // Put.
        if (m_bound && !m_cache.loaded()) {
            HRESULT hr = Load(true);
            if (FAILED(hr)) return hr;
        }
        const std::vector<std::wstring>* values = m_cache.Find(name);
        if (!values) return E_ADS_PROPERTY_NOT_FOUND;
        Syntax syntax;
        HRESULT hr = SyntaxOf(name, syntax);
        if (FAILED(hr)) return hr;
        VARIANT result;
        ::VariantInit(&result);
        hr = ValuesToVariant(*values, syntax, &result);
        if (FAILED(hr)) return hr;
        *value = result;
        return S_OK;
    });
}

HRESULT WINAPI DirectoryObject::Put(BSTR name, VARIANT value) {
    if (!name || !*name) return E_ADS_BAD_PARAMETER;
    return Guarded([&] {
        // Converted here, so that a value that does not convert never reaches
        // the cache, nor SetInfo the directory.
        Syntax syntax;
        HRESULT hr = SyntaxOf(name, syntax);
        if (FAILED(hr)) return hr;
        std::vector<std::wstring> values;
        hr = VariantToValues(value, syntax, values);
        if (FAILED(hr)) return hr;
        m_cache.Put(name, std::move(values));
        return S_OK;
    });
}

HRESULT WINAPI DirectoryObject::SetInfo() {
    return Guarded([&] {
        std::vector<Attribute> changed = m_cache.Changed();
        HRESULT hr = S_OK;
        if (m_bound) {
            if (changed.empty()) return S_OK;
            hr = m_connection->Modify(m_dn, changed);
        } else {
            // A new object goes out in one add: its class, unless Put gave
            // one, and every cached property that has a value.
            std::vector<Attribute> attributes;
            if (!m_cache.Find(L"objectClass")) attributes.push_back(Attribute{L"objectClass", {m_class}});
            for (Attribute& a : changed)
                if (!a.values.empty()) attributes.push_back(std::move(a));
            hr = m_connection->Add(m_dn, attributes);
        }
        if (FAILED(hr)) return hr;
        m_cache.MarkSaved();
        m_bound = true;
        return S_OK;
    });
}

}  // namespace Provider
