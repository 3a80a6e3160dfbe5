// Where the directory library comes from. activeds.dll is not one of the
// DLLs that Windows always maps from System32, and this process runs
// elevated from wherever it was downloaded: a copy beside the exe or in the
// current directory must never run in it. So the library is delay-loaded,
// and loaded only by its full System32 path.
#pragma once

#include <windows.h>

namespace AD {

// Where LoadSystemLibrary asks for the System32 path: GetSystemDirectoryW,
// which tests replace to make the path fail.
extern UINT(WINAPI* SystemDirectory)(LPWSTR buffer, UINT size);

// Loads the System32 DLL of that name by its full path, with its own
// dependencies taken from System32: S_OK and the module, or a failure
// HRESULT (never a success code) and null.
HRESULT LoadSystemLibrary(const char* name, HMODULE* module) noexcept;

// S_OK once activeds.dll is loaded from System32, else the HRESULT of the
// load failure. Every directory call asks this first: a delay-loaded call
// into a library that cannot be loaded would raise an exception that no
// C++ handler catches, and mingw-w64's delay-load helper would first try
// the library by its bare name.
HRESULT LoadDirectoryLibrary() noexcept;

}  // namespace AD
