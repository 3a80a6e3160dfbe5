// Resource identifiers of the resource script: the dialog's own (its
// template, controls, pictures and icon) from gui/, and those of the
// program as a whole. The numbers never change.
#pragma once

#include "gui/DialogIds.h"

// The shell's file icon is the group named "IDI_DEFAULTICON": a named entry
// sorts before every numbered one in the resource directory. It must stay a
// name, so the resource compiler never sees a macro for it; code that wants
// it uses the wide string below.
#ifndef RC_INVOKED
#define IDI_DEFAULTICON_NAME L"IDI_DEFAULTICON"
#endif

// The program's internal name, kept as a string resource.
#define IDS_INTERNAL_NAME 128

// The manifest resource that the loader reads for an executable.
#define IDR_MANIFEST 1
