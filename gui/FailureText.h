// What the user reads about a failure that is not a directory failure:
// running out of memory (ATL::CAtlException, std::bad_alloc) or any other
// exception. The directory's own HResultException is described by its
// catchers, which add the failed step.
#pragma once

#include <string>

namespace GUI {

// Call only inside a catch block: the text for the exception being handled.
// An ATL::CAtlException or std::bad_alloc gives the system's text of its
// HRESULT (E_OUTOFMEMORY), another std::exception its own message, anything
// else the text of E_UNEXPECTED. May itself throw when no memory is left.
std::wstring DescribeCurrentException();

}  // namespace GUI
