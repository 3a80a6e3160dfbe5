// What the dialog tests need to drive windows on the test's own thread and
// read them back.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace TestWindows {

// Serves the thread's messages (posted and sent, timers included) until
// done() is true or timeoutMs has passed; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
void PumpFor(DWORD ms);
// Takes a pending WM_QUIT off the queue; its exit code, or -1 when none.
long long TakeQuit();

std::wstring Text(HWND window);
std::wstring ItemText(HWND dialog, int id);
bool ItemVisible(HWND dialog, int id);
bool ItemEnabled(HWND dialog, int id);

// The 32-bit pixels of a bitmap, for comparing pictures by content.
std::vector<DWORD> Pixels(HBITMAP bitmap);
// The pixels of a bitmap resource of the test program's own image.
std::vector<DWORD> ResourcePixels(int id);
// The pixels of the picture that a static control shows.
std::vector<DWORD> PicturePixels(HWND dialog, int id);

}  // namespace TestWindows
