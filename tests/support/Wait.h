// Bounded waits. A test that owns windows must serve its own messages while
// it waits (PumpUntil); one that watches another process only polls.
#pragma once

#include <windows.h>

#include <functional>

namespace TestSupport {

// Polls until the condition holds; false when timeoutMs passed first.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD stepMs = 50);

// Serves the thread's messages (posted and sent, timers included) until
// done() is true or timeoutMs has passed; returns done(). A WM_QUIT it meets
// is put back for the test to see.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
void PumpFor(DWORD ms);
// Takes a pending WM_QUIT off the queue; its exit code, or -1 when none.
long long TakeQuit();

}  // namespace TestSupport
