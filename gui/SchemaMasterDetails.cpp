// The details shown on start: what the user is to verify about the schema
// master, and the domain name that the extension needs later.
#include "gui/SchemaSetupDialog.h"

#include "ad/DomainName.h"
#include "ad/Errors.h"
#include "gui/DirectoryCalls.h"
#include "gui/FailureText.h"

namespace GUI {

namespace {

const wchar_t FailurePrefix[] = L"Unable to find domain schema FSMO:\r\n";

// Appends label, the property's value and an empty line when the property
// can be read. Only a string value is shown: a value of any other type (a
// multi-valued answer, for one) is not read as a string.
void AppendProperty(std::wstring& text, IADs* object, const wchar_t* name,
                    const wchar_t* label) {
    Scoped::Variant value;
    Scoped::Bstr property(name);
    if (FAILED(object->Get(property.get(), value.out()))) return;
    text += label;
    if (value->vt == VT_BSTR && value->bstrVal) text += value->bstrVal;
    text += L"\r\n\r\n";
}

}  // namespace

void SchemaSetupDialog::ShowSchemaMasterDetails() noexcept {
    m_succeeded = false;
    try {
        Scoped::ComPtr<IADs> server;
        Directory.findSchemaMaster(server.ReleaseAndGetAddressOf());
        if (!server) AD::CheckHResult(E_POINTER, "");

        std::wstring details;
        AppendProperty(details, server.Get(), L"dnsHostName", L"DNS name:\r\n  ");
        AppendProperty(details, server.Get(), L"distinguishedName", L"Schema owner name:\r\n  ");

        Scoped::Bstr path;
        AD::CheckHResult(server->get_ADsPath(path.out()), "");
        std::wstring domainName = AD::ExtractDomainName(path.get() ? path.get() : L"");
        details += L"Domain name:\r\n  ";
        details += domainName;

        m_domainName = std::move(domainName);
        if (!m_domainName.empty()) ::EnableWindow(GetDlgItem(IDC_SETUP), TRUE);
        ::SetDlgItemTextW(m_hWnd, IDC_DETAILS, details.c_str());
    } catch (const AD::HResultException& e) {
        ShowResultOr(FailurePrefix, [&e] {
            return FailurePrefix + AD::DescribeHResult(e.hresult());
        });
    } catch (...) {
        // Running out of memory here must not end the program either: it is
        // shown like a failure to find the schema master.
        ShowResultOr(FailurePrefix, [] { return FailurePrefix + DescribeCurrentException(); });
    }
}

}  // namespace GUI
