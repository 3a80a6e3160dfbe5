#include "FakeServer.h"

#include <adserr.h>

HRESULT WINAPI FakeServer::QueryInterface(REFIID riid, void** object) {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IADs) {
        *object = static_cast<IADs*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT WINAPI FakeServer::get_ADsPath(BSTR* value) {
    *value = nullptr;
    if (FAILED(pathResult)) return pathResult;
    *value = ::SysAllocString(path.c_str());
    return *value ? S_OK : E_OUTOFMEMORY;
}

HRESULT WINAPI FakeServer::Get(BSTR name, VARIANT* value) {
    ::VariantInit(value);
    std::wstring key = name ? name : L"";
    auto s = strings.find(key);
    if (s != strings.end()) {
        V_VT(value) = VT_BSTR;
        V_BSTR(value) = ::SysAllocString(s->second.c_str());
        return S_OK;
    }
    auto n = numbers.find(key);
    if (n != numbers.end()) {
        V_VT(value) = VT_I4;
        V_I4(value) = n->second;
        return S_OK;
    }
    return E_ADS_PROPERTY_NOT_FOUND;
}
