// The floor of the program's start-up: the empty dialog plus exactly the
// directory calls of the program's discovery, through the same provider and
// at the same moment (in WM_INITDIALOG, before the dialog is shown): the
// schema master found, its two properties read, its path read and the
// domain name cut from it. Nothing is shown; a failure is only marked.
#include "tools/bench/Marks.h"

#include "ad/DomainName.h"
#include "ad/Errors.h"
#include "ad/FindSchemaMaster.h"
#include "base/Scoped.h"

namespace Bench {

void BeforeShown() {
    try {
        Scoped::ComPtr<IADs> server;
        AD::FindSchemaMaster(server.ReleaseAndGetAddressOf());
        for (const wchar_t* name : {L"dnsHostName", L"distinguishedName"}) {
            Scoped::Variant value;
            Scoped::Bstr property(name);
            server->Get(property.get(), value.out());
        }
        Scoped::Bstr path;
        AD::CheckHResult(server->get_ADsPath(path.out()), "");
        AD::ExtractDomainName(path.get() ? path.get() : L"");
        Mark("discovery_done");
    } catch (...) {
        Mark("discovery_failed");
    }
}

}  // namespace Bench
