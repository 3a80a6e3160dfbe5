// IADsContainer of DirectoryObject: Create makes a new object under this one,
// held only in its property cache until its SetInfo.
#include "wine/DirectoryObject.h"

#include "wine/AdsPath.h"

#include <adserr.h>

namespace Provider {

HRESULT WINAPI DirectoryObject::get_Count(LONG*) { return E_NOTIMPL; }
HRESULT WINAPI DirectoryObject::get__NewEnum(IUnknown**) { return E_NOTIMPL; }
HRESULT WINAPI DirectoryObject::get_Filter(VARIANT*) { return E_NOTIMPL; }
HRESULT WINAPI DirectoryObject::put_Filter(VARIANT) { return E_NOTIMPL; }
HRESULT WINAPI DirectoryObject::get_Hints(VARIANT*) { return E_NOTIMPL; }
HRESULT WINAPI DirectoryObject::put_Hints(VARIANT) { return E_NOTIMPL; }
HRESULT WINAPI DirectoryObject::GetObject(BSTR, BSTR, IDispatch**) { return E_NOTIMPL; }
HRESULT WINAPI DirectoryObject::Delete(BSTR, BSTR) { return E_NOTIMPL; }
HRESULT WINAPI DirectoryObject::CopyHere(BSTR, BSTR, IDispatch**) { return E_NOTIMPL; }
HRESULT WINAPI DirectoryObject::MoveHere(BSTR, BSTR, IDispatch**) { return E_NOTIMPL; }

HRESULT WINAPI DirectoryObject::Create(BSTR className, BSTR relativeName, IDispatch** object) {
    if (!object) return E_ADS_BAD_PARAMETER;
    *object = nullptr;
    if (!className || !*className || !relativeName) return E_ADS_BAD_PARAMETER;
    return Guarded([&] {
        std::wstring rdn;
        if (!ParseRdn(relativeName, rdn)) return E_ADS_BAD_PATHNAME;
        auto* created = new DirectoryObject(m_connection, m_server, rdn + L"," + m_dn, false, false, className);
        m_connection->AddRef();  // the new object's own reference
        *object = static_cast<IADs*>(created);
        return S_OK;
    });
}

}  // namespace Provider
