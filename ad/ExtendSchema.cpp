#include "ad/ExtendSchema.h"

#include "ad/Errors.h"
#include "ad/Platform.h"
#include "ad/SchemaAdditions.h"
#include "base/Scoped.h"

#include <iads.h>

namespace AD {

namespace {

const wchar_t ContainerPathPrefix[] = L"LDAP://CN=Schema,CN=Configuration,";
// HRESULT_FROM_WIN32(ERROR_DS_NO_ATTRIBUTE_OR_VALUE): the directory does not
// know the new attribute yet (its schema cache lags behind the commit).
const HRESULT NoAttributeOrValue = static_cast<HRESULT>(0x8007200A);
const DWORD ClassRetryBudget = 300000;
const DWORD ClassRetryPause = 5000;

// A null handle counts as set, so a job without a cancel event never writes.
bool StopRequested(HANDLE cancelEvent) {
    return !cancelEvent || ::WaitForSingleObject(cancelEvent, 0) == WAIT_OBJECT_0;
}

}  // namespace

void ExtendSchema(const std::wstring& domainName, HANDLE cancelEvent) {
    // Serverless: the locator picks the DC; only the domain name is ours.
    std::wstring path = ContainerPathPrefix + domainName;
    Scoped::ComPtr<IADsContainer> container;
    HRESULT hr = Platform.getObject(path.c_str(), IID_IADsContainer,
                                    reinterpret_cast<void**>(container.GetAddressOf()));
    CheckHResult(hr, "Unable to get schema container.");

    for (const AttributeDefinition& definition : NewAttributes) {
        if (StopRequested(cancelEvent)) break;
        try {
            CreateAttribute(container.Get(), definition);
        } catch (const HResultException& e) {
            if (e.hresult() != ObjectAlreadyExists) throw;
        }
    }

    // Tick counts wrap after 49.7 days; the unsigned difference stays right
    // across the wrap.
    const DWORD start = Platform.tickCount();
    for (;;) {
        if (StopRequested(cancelEvent)) break;
        try {
            CreateClass(container.Get());
            break;
        } catch (const HResultException& e) {
            if (e.hresult() != NoAttributeOrValue) throw;
            if (Platform.tickCount() - start > ClassRetryBudget) throw;
        }
        Platform.pause(ClassRetryPause);
    }
}

}  // namespace AD
