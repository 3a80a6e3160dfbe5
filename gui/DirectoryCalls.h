// The two directory operations the dialog calls. Tests point the members at
// fakes and restore RealDirectory afterwards; the program uses the real ones.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <iads.h>

#include <string>

namespace GUI {

struct DirectoryCalls {
    void (*findSchemaMaster)(IADs** server);
    void (*extendSchema)(const std::wstring& domainName, HANDLE cancelEvent);
};

// AD::FindSchemaMaster and AD::ExtendSchema.
extern const DirectoryCalls RealDirectory;

extern DirectoryCalls Directory;

}  // namespace GUI
