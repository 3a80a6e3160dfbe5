// Reading a dialog's controls as a user sees them. Every read goes through
// messages with a time-out, so it works on a window of this process or of
// another one, and never hangs on a dialog that has stopped answering.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace TestSupport {

// The control's text; "<no answer>" when it does not answer within 5 s.
std::wstring ItemText(HWND dialog, int id);
// The control's own visible state (WS_VISIBLE), whatever its parent's.
bool ItemVisible(HWND dialog, int id);
bool ItemEnabled(HWND dialog, int id);

// The pixels of a bitmap that no device context has selected, top-down,
// as 0x00RRGGBB; empty when it cannot be read.
std::vector<DWORD> BitmapPixels(HBITMAP bitmap);

}  // namespace TestSupport
