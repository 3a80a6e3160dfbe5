#include "ad/FindSchemaMaster.h"

#include "ad/Errors.h"
#include "ad/Platform.h"
#include "base/Scoped.h"

#include <adserr.h>

#include <string>

namespace AD {

namespace {

const wchar_t PathPrefix[] = L"LDAP://";

template <typename T>
void Bind(const wchar_t* path, REFIID iid, Scoped::ComPtr<T>& object) {
    HRESULT hr = Platform.getObject(path, iid,
                                    reinterpret_cast<void**>(object.ReleaseAndGetAddressOf()));
    CheckHResult(hr, "");
}

// A single-valued string property. A value of any other type (several
// values come back as an array) would be misread as a string, so it is
// refused. A null BSTR is the empty string.
std::wstring GetString(IADs* object, const wchar_t* property, Scoped::Variant& value) {
    Scoped::Bstr name(property);
    HRESULT hr = object->Get(name.get(), value.out());
    CheckHResult(hr, "");
    if (V_VT(value.get()) != VT_BSTR) throw HResultException(E_ADS_CANT_CONVERT_DATATYPE, "");
    BSTR text = V_BSTR(value.get());
    return text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
}

// Moves to the first row. A provider may answer S_ADS_NOMORE_ROWS while it
// is still collecting results; ERROR_MORE_DATA in the extended error says
// to ask again. The outcome is not checked here: without a row the column
// read fails, and that is the failure reported.
void MoveToFirstRow(IDirectorySearch* search, ADS_SEARCH_HANDLE handle) {
    HRESULT hr = search->GetNextRow(handle);
    while (hr == S_ADS_NOMORE_ROWS) {
        DWORD error = 0;
        wchar_t text[ExtendedErrorBufferLength];
        wchar_t provider[ExtendedErrorBufferLength];
        HRESULT got = Platform.getLastError(&error, text, ExtendedErrorBufferLength, provider,
                                            ExtendedErrorBufferLength);
        if (FAILED(got) || error != ERROR_MORE_DATA) break;
        hr = search->GetNextRow(handle);
    }
}

// The schema container's path from the ADsPath column. Returns false for a
// column that holds no value. The provider-specific form is bounded by its
// byte count rather than trusted to be terminated.
bool ColumnPath(const ADS_SEARCH_COLUMN& column, std::wstring& path) {
    const ADSVALUE* value = column.dwNumValues ? column.pADsValues : nullptr;
    switch (column.dwADsType) {
    case ADSTYPE_DN_STRING:
    case ADSTYPE_CASE_EXACT_STRING:
    case ADSTYPE_CASE_IGNORE_STRING:
    case ADSTYPE_PRINTABLE_STRING:
        if (!value || !value->DNString) return false;
        path = value->DNString;
        return true;
    case ADSTYPE_PROV_SPECIFIC: {
        if (!value || !value->ProviderSpecific.lpValue) return false;
        const wchar_t* text = reinterpret_cast<const wchar_t*>(value->ProviderSpecific.lpValue);
        std::wstring::size_type limit = value->ProviderSpecific.dwLength / sizeof(wchar_t);
        std::wstring::size_type length = 0;
        while (length < limit && text[length] != L'\0') ++length;
        path.assign(text, length);
        return true;
    }
    default:
        Platform.messageBox(nullptr, L"Found unexpected AD type.", L"Error", MB_ICONERROR | MB_OK);
        throw HResultException(E_ADS_COLUMN_NOT_SET, "");
    }
}

}  // namespace

void FindSchemaMaster(IADs** server) {
    *server = nullptr;

    Scoped::ComPtr<IADs> root;
    Bind(L"LDAP://RootDSE", IID_IADs, root);
    Scoped::Variant namingContext;
    std::wstring path = PathPrefix;
    path += GetString(root.Get(), L"schemaNamingContext", namingContext);

    // Declared in this order so that, on every way out, the column is freed
    // before the handle is closed and both before the search is released.
    Scoped::ComPtr<IDirectorySearch> search;
    Bind(path.c_str(), IID_IDirectorySearch, search);
    Scoped::SearchHandle handle(search.Get());
    Scoped::SearchColumn column(search.Get());

    wchar_t filter[] = L"(&(objectClass=dMD)(fSMORoleOwner=*))";
    wchar_t adsPath[] = L"ADsPath";
    LPWSTR attributes[] = {adsPath};
    HRESULT hr = search->ExecuteSearch(filter, attributes, 1, handle.out());
    CheckHResult(hr, "");

    MoveToFirstRow(search.Get(), handle.get());
    hr = search->GetColumn(handle.get(), adsPath, column.out());
    CheckHResult(hr, "");
    column.setFilled();

    std::wstring containerPath;
    if (!ColumnPath(column.get(), containerPath)) throw HResultException(E_ADS_COLUMN_NOT_SET, "");
    Scoped::ComPtr<IADs> schemaContainer;
    Bind(containerPath.c_str(), IID_IADs, schemaContainer);
    column.free();
    handle.close();

    Scoped::Variant roleOwner;
    path = PathPrefix;
    path += GetString(schemaContainer.Get(), L"fSMORoleOwner", roleOwner);
    Scoped::ComPtr<IADs> settings;
    Bind(path.c_str(), IID_IADs, settings);

    // get_Parent already answers a complete "LDAP://" path.
    Scoped::Bstr parent;
    hr = settings->get_Parent(parent.out());
    CheckHResult(hr, "");
    hr = Platform.getObject(parent.get() ? parent.get() : L"", IID_IADs,
                            reinterpret_cast<void**>(server));
    if (FAILED(hr)) *server = nullptr;
    CheckHResult(hr, "");
}

}  // namespace AD
