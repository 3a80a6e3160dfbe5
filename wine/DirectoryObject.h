// One object of the directory as the LDAP provider hands it out: IADs with
// its property cache, IADsContainer::Create, and IDirectorySearch. An object
// is either bound (it exists in the directory) or new (made by Create and
// not yet written by SetInfo). It keeps its session alive.
#pragma once

#include "wine/Connection.h"
#include "wine/PropertyCache.h"

#include "base/Scoped.h"

#include <windows.h>
#include <oleauto.h>
#include <iads.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

namespace Provider {

struct SearchState;

class DirectoryObject final : public IADs, public IADsContainer, public IDirectorySearch {
public:
    // An object known to exist (bound = true), or a new one of objectClass.
    // Takes over one reference to connection.
    DirectoryObject(Connection* connection, std::wstring server, std::wstring dn, bool rootDse,
                    bool bound, std::wstring objectClass = std::wstring());

    // The entry as the directory answered the bind: the first Get then reads
    // it instead of asking again.
    void KeepLoaded(const Entry& entry) { m_cache.Load(entry, false); }

    // IUnknown
    HRESULT WINAPI QueryInterface(REFIID riid, void** object) override;
    ULONG WINAPI AddRef() override;
    ULONG WINAPI Release() override;

    // IDispatch (no type information: callers use the vtable)
    HRESULT WINAPI GetTypeInfoCount(UINT* count) override;
    HRESULT WINAPI GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT WINAPI GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT WINAPI Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* exception, UINT* argError) override;

    // IADs
    HRESULT WINAPI get_Name(BSTR* retval) override;
    HRESULT WINAPI get_Class(BSTR* retval) override;
    HRESULT WINAPI get_GUID(BSTR* retval) override;
    HRESULT WINAPI get_ADsPath(BSTR* retval) override;
    HRESULT WINAPI get_Parent(BSTR* retval) override;
    HRESULT WINAPI get_Schema(BSTR* retval) override;
    HRESULT WINAPI GetInfo() override;
    HRESULT WINAPI SetInfo() override;
    HRESULT WINAPI Get(BSTR name, VARIANT* value) override;
    HRESULT WINAPI Put(BSTR name, VARIANT value) override;
    HRESULT WINAPI GetEx(BSTR name, VARIANT* value) override;
    HRESULT WINAPI PutEx(LONG control, BSTR name, VARIANT value) override;
    HRESULT WINAPI GetInfoEx(VARIANT properties, LONG reserved) override;

    // IADsContainer
    HRESULT WINAPI get_Count(LONG* retval) override;
    HRESULT WINAPI get__NewEnum(IUnknown** retval) override;
    HRESULT WINAPI get_Filter(VARIANT* var) override;
    HRESULT WINAPI put_Filter(VARIANT var) override;
    HRESULT WINAPI get_Hints(VARIANT* hints) override;
    HRESULT WINAPI put_Hints(VARIANT hints) override;
    HRESULT WINAPI GetObject(BSTR className, BSTR relativeName, IDispatch** object) override;
    HRESULT WINAPI Create(BSTR className, BSTR relativeName, IDispatch** object) override;
    HRESULT WINAPI Delete(BSTR className, BSTR relativeName) override;
    HRESULT WINAPI CopyHere(BSTR source, BSTR newName, IDispatch** object) override;
    HRESULT WINAPI MoveHere(BSTR source, BSTR newName, IDispatch** object) override;

    // IDirectorySearch
    HRESULT WINAPI SetSearchPreference(PADS_SEARCHPREF_INFO prefs, DWORD count) override;
    HRESULT WINAPI ExecuteSearch(LPWSTR filter, LPWSTR* attributes, DWORD count, PADS_SEARCH_HANDLE handle) override;
    HRESULT WINAPI AbandonSearch(ADS_SEARCH_HANDLE handle) override;
    HRESULT WINAPI GetFirstRow(ADS_SEARCH_HANDLE handle) override;
    HRESULT WINAPI GetNextRow(ADS_SEARCH_HANDLE handle) override;
    HRESULT WINAPI GetPreviousRow(ADS_SEARCH_HANDLE handle) override;
    HRESULT WINAPI GetNextColumnName(ADS_SEARCH_HANDLE handle, LPWSTR* name) override;
    HRESULT WINAPI GetColumn(ADS_SEARCH_HANDLE handle, LPWSTR name, PADS_SEARCH_COLUMN column) override;
    HRESULT WINAPI FreeColumn(PADS_SEARCH_COLUMN column) override;
    HRESULT WINAPI CloseSearchHandle(ADS_SEARCH_HANDLE handle) override;

private:
    ~DirectoryObject();
    DirectoryObject(const DirectoryObject&) = delete;
    DirectoryObject& operator=(const DirectoryObject&) = delete;

    HRESULT Load(bool keepChanges);
    // The syntax that converts name's values; E_ADS_CANT_CONVERT_DATATYPE
    // for a name the schema does not know.
    HRESULT SyntaxOf(const std::wstring& name, Syntax& syntax);
    SearchState* FindSearch(ADS_SEARCH_HANDLE handle);
    // GetFirstRow and GetNextRow: the search goes out the first time a row
    // is asked for.
    HRESULT Advance(ADS_SEARCH_HANDLE handle, bool fromFirst);

    LONG m_refs = 1;
    Connection* m_connection;
    std::wstring m_server;  // as the path named it; empty when serverless
    std::wstring m_dn;      // LDAP form
    bool m_rootDse;
    bool m_bound;
    std::wstring m_class;   // for a new object: its objectClass
    PropertyCache m_cache;
    std::vector<std::unique_ptr<SearchState>> m_searches;
};

// Runs body, turning an exception into an HRESULT: nothing may cross the COM
// boundary.
template <typename Body>
HRESULT Guarded(Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const ATL::CAtlException& e) {
        return e.m_hr;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace Provider
