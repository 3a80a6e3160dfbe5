// Where the directory library comes from. activeds.dll is not one of the
// DLLs that Windows always maps from System32, and this process runs
// elevated from wherever it was downloaded: a copy beside the exe or in the
// current directory must never run in it. So the library is delay-loaded,
// and loaded only by its full System32 path.
#pragma once

#include <windows.h>

namespace AD {

// The System32 DLL of that name, loaded by its full path with its own
// dependencies taken from System32; null (last error set) when it cannot be.
HMODULE LoadSystemLibrary(const char* name) noexcept;

// S_OK once activeds.dll is loaded from System32, else the HRESULT of the
// load failure. Every directory call asks this first: a delay-loaded call
// into a library that cannot be loaded would raise an exception that no
// C++ handler catches.
HRESULT LoadDirectoryLibrary() noexcept;

}  // namespace AD
