#include "ad/SchemaAdditions.h"

#include "ad/Errors.h"
#include "ad/Platform.h"
#include "base/Scoped.h"

#include <string>

namespace AD {

const AttributeDefinition NewAttributes[NewAttributeCount] = {
    // Boolean syntax (2.5.5.8 with OM syntax 1); search flag 1 indexes it.
    {L"WexlorAdmin", L"1.3.6.1.4.1.32473.1.3.1", L"2.5.5.8", true, false, 1, 1},
};

const wchar_t* const NewClassMayContain[NewClassMayContainCount] = {
    L"WexlorAdmin",
};

namespace {

const wchar_t ClassName[] = L"WexlorEnterpriseUser";

// Writes the working value into the new object's property cache. Property
// names are plain ASCII, so the narrow name serves both the message and,
// widened, the COM string.
void Put(IADs* object, const char* property, const Scoped::Variant& value) {
    std::wstring wide(property, property + std::char_traits<char>::length(property));
    Scoped::Bstr name(wide.c_str());
    HRESULT hr = object->Put(name.get(), *value);
    if (FAILED(hr))
        throw HResultException(hr, std::string("Unable to set ") + property + " attribute");
}

// Create gives an IDispatch; the property writes need the IADs of the same
// uncommitted object. Nothing reaches the directory until SetInfo.
Scoped::ComPtr<IADs> CreateObject(IADsContainer* container, const wchar_t* objectClass,
                                  const std::wstring& relativeName,
                                  const char* createMessage, const char* queryMessage) {
    Scoped::Bstr className(objectClass);
    Scoped::Bstr rdn(relativeName.c_str());
    Scoped::ComPtr<IDispatch> created;
    HRESULT hr = container->Create(className.get(), rdn.get(), created.GetAddressOf());
    CheckHResult(hr, createMessage);
    // A success without an object is a creation that did not happen.
    if (!created) CheckHResult(E_POINTER, createMessage);
    Scoped::ComPtr<IADs> object;
    hr = created->QueryInterface(IID_IADs, reinterpret_cast<void**>(object.GetAddressOf()));
    CheckHResult(hr, queryMessage);
    return object;
}

// A commit that meets an object of the same relative name leaves that object
// as it is and counts as created, so a second run succeeds without changes.
void Commit(IADs* object, const char* message) {
    HRESULT hr = object->SetInfo();
    if (hr == ObjectAlreadyExists) return;
    CheckHResult(hr, message);
}

}  // namespace

void CreateAttribute(IADsContainer* container, const AttributeDefinition& definition) {
    Scoped::ComPtr<IADs> object =
        CreateObject(container, L"attributeSchema", std::wstring(L"CN=") + definition.name,
                     "Unable to create new attribute",
                     "Unable to query IADs interface from attribute object");

    Scoped::Variant value;
    value.setBstr(definition.name);
    Put(object.Get(), "adminDescription", value);
    Put(object.Get(), "adminDisplayName", value);
    Put(object.Get(), "cn", value);
    Put(object.Get(), "lDAPDisplayName", value);
    value.setBstr(definition.attributeID);
    Put(object.Get(), "attributeID", value);
    value.setBstr(definition.attributeSyntax);
    Put(object.Get(), "attributeSyntax", value);
    value.setBool(definition.isSingleValued);
    Put(object.Get(), "isSingleValued", value);
    value.setBool(definition.systemOnly);
    Put(object.Get(), "systemOnly", value);
    value.setI4(definition.oMSyntax);
    Put(object.Get(), "oMSyntax", value);
    value.setI4(definition.searchFlags);
    Put(object.Get(), "searchFlags", value);

    Commit(object.Get(), "Unable to commit new attribute to schema");
}

void CreateClass(IADsContainer* container) {
    Scoped::ComPtr<IADs> object =
        CreateObject(container, L"classSchema", std::wstring(L"CN=") + ClassName,
                     "Unable to create new class",
                     "Unable to query IADs interface from class object");

    Scoped::Variant value;
    value.setBstr(ClassName);
    Put(object.Get(), "adminDescription", value);
    Put(object.Get(), "adminDisplayName", value);
    Put(object.Get(), "cn", value);
    Put(object.Get(), "lDAPDisplayName", value);
    Put(object.Get(), "name", value);
    value.setBstr(L"1.3.6.1.4.1.32473.1.4");
    Put(object.Get(), "governsID", value);
    value.setBool(false);
    Put(object.Get(), "systemOnly", value);
    value.setBstr(L"cn");
    Put(object.Get(), "rDNAttID", value);
    // 3: an auxiliary class.
    value.setI4(3);
    Put(object.Get(), "objectClassCategory", value);

    // The builder takes non-const strings but only copies them.
    value.clear();
    HRESULT hr = Platform.buildVarArrayStr(const_cast<LPWSTR*>(NewClassMayContain),
                                           NewClassMayContainCount, value.get());
    CheckHResult(hr, "Unable to initialize attributes names array");
    Put(object.Get(), "mayContain", value);

    Commit(object.Get(), "Unable to commit new class to schema");
}

}  // namespace AD
