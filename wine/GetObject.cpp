// ADsGetObject: parse the path, bind (or reuse) the server's session, make
// sure the object exists (reading its properties on the way), and hand out
// the interface asked for.
#include "wine/AdsPath.h"
#include "wine/Connection.h"
#include "wine/DirectoryObject.h"
#include "wine/LastError.h"

#include <adserr.h>
#include <oleauto.h>
#include <iads.h>
#include <adshlp.h>

using namespace Provider;

extern "C" HRESULT WINAPI ADsGetObject(LPCWSTR lpszPathName, REFIID riid, VOID** ppObject) {
    if (!ppObject) return E_ADS_BAD_PARAMETER;
    *ppObject = nullptr;
    return Guarded([&] {
        AdsPath path;
        HRESULT hr = ParseAdsPath(lpszPathName, path);
        if (FAILED(hr)) return hr;

        Connection* raw = nullptr;
        hr = Connection::Acquire(path.server, &raw);
        if (FAILED(hr)) return hr;
        // Owns the reference until the object takes it over.
        std::unique_ptr<Connection, void (*)(Connection*)> connection(raw, [](Connection* c) { c->Release(); });

        // The check that the object exists reads the whole entry, which the
        // object keeps as its loaded properties: one round trip, not two.
        std::vector<Entry> entries;
        hr = connection->Search(path.dn, LDAP_SCOPE_BASE, L"(objectClass=*)", nullptr, entries);
        if (FAILED(hr)) return hr;
        if (entries.empty()) {
            RecordFailure(ERROR_DS_NO_SUCH_OBJECT, std::wstring());
            return HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT);
        }

        // The object takes the reference over only once it is made: copying
        // the strings for it can still fail.
        auto* object = new DirectoryObject(connection.get(), path.server, path.dn, path.rootDse, true);
        connection.release();
        try {
            object->KeepLoaded(entries.front());
        } catch (...) {
            object->Release();
            throw;
        }
        hr = object->QueryInterface(riid, ppObject);
        object->Release();
        return hr;
    });
}
