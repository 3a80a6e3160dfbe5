// Finding the forest's schema master: the server object of the domain
// controller that holds the schema FSMO role.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <iads.h>

namespace AD {

// Follows RootDSE -> schema partition -> the dMD object's fSMORoleOwner ->
// that NTDS settings object's parent, binding every step through a serverless
// path. *server is set to null on entry and receives the server object (the
// caller releases it) only on success. Directory failures throw
// HResultException with an empty message; a property name that cannot be
// allocated throws ATL::CAtlException(E_OUTOFMEMORY).
void FindSchemaMaster(IADs** server);

}  // namespace AD
