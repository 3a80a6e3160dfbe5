// A server object as discovery hands it back: a few string properties, a
// path, and a reference count that must be back at zero when the dialog is
// done with it.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <iads.h>

#include <map>
#include <string>

class FakeServer : public IADs {
public:
    // Property name -> value; a property that is not here fails with
    // E_ADS_PROPERTY_NOT_FOUND. A VT_I4 value can be given with SetNumber.
    std::map<std::wstring, std::wstring> strings;
    std::map<std::wstring, LONG> numbers;
    std::wstring path;
    HRESULT pathResult = S_OK;
    LONG references = 0;

    // IUnknown
    HRESULT WINAPI QueryInterface(REFIID riid, void** object) override;
    ULONG WINAPI AddRef() override { return ++references; }
    ULONG WINAPI Release() override { return --references; }
    // IDispatch: not used by the dialog.
    HRESULT WINAPI GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT WINAPI GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT WINAPI GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                          UINT*) override {
        return E_NOTIMPL;
    }
    // IADs
    HRESULT WINAPI get_Name(BSTR*) override { return E_NOTIMPL; }
    HRESULT WINAPI get_Class(BSTR*) override { return E_NOTIMPL; }
    HRESULT WINAPI get_GUID(BSTR*) override { return E_NOTIMPL; }
    HRESULT WINAPI get_ADsPath(BSTR* value) override;
    HRESULT WINAPI get_Parent(BSTR*) override { return E_NOTIMPL; }
    HRESULT WINAPI get_Schema(BSTR*) override { return E_NOTIMPL; }
    HRESULT WINAPI GetInfo() override { return E_NOTIMPL; }
    HRESULT WINAPI SetInfo() override { return E_NOTIMPL; }
    HRESULT WINAPI Get(BSTR name, VARIANT* value) override;
    HRESULT WINAPI Put(BSTR, VARIANT) override { return E_NOTIMPL; }
    HRESULT WINAPI GetEx(BSTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT WINAPI PutEx(LONG, BSTR, VARIANT) override { return E_NOTIMPL; }
    HRESULT WINAPI GetInfoEx(VARIANT, LONG) override { return E_NOTIMPL; }
};
