// The attribute and the class this program adds to the schema, and the two
// operations that write them into a bound schema container.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <iads.h>

#include <cstddef>

namespace AD {

// One attribute to add. name is also its relative name (after "CN="), cn,
// lDAPDisplayName, adminDisplayName and adminDescription.
struct AttributeDefinition {
    const wchar_t* name;
    const wchar_t* attributeID;
    const wchar_t* attributeSyntax;
    bool isSingleValued;
    bool systemOnly;
    LONG oMSyntax;
    LONG searchFlags;
};

// The attributes ExtendSchema creates, in order.
const std::size_t NewAttributeCount = 1;
extern const AttributeDefinition NewAttributes[NewAttributeCount];

// The class's mayContain list: the names of NewAttributes.
const std::size_t NewClassMayContainCount = 1;
extern const wchar_t* const NewClassMayContain[NewClassMayContainCount];

// HRESULT_FROM_WIN32(ERROR_OBJECT_ALREADY_EXISTS): a commit that meets an
// object of the same relative name; both operations count it as created.
const HRESULT ObjectAlreadyExists = static_cast<HRESULT>(0x80071392);

// Creates, fills and commits one attributeSchema object under container
// (borrowed). An existing object of that name counts as created and is left
// untouched. Failures throw HResultException naming the step; allocation
// failures throw ATL::CAtlException(E_OUTOFMEMORY).
void CreateAttribute(IADsContainer* container, const AttributeDefinition& definition);

// The same for the classSchema object WexlorEnterpriseUser.
void CreateClass(IADsContainer* container);

}  // namespace AD
