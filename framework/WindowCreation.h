// The windows being created: between the call that creates a window and the
// first message that reaches it, the object that will own the window waits
// here with the id of the creating thread. The window's start procedure takes
// it off the list and binds the two.
#pragma once

#include <windows.h>

namespace App {

// One waiting object. The entry lives inside the object that waits, so
// putting it on the list allocates nothing and cannot fail.
struct CreationEntry {
    void* object = nullptr;
    DWORD threadId = 0;
    CreationEntry* next = nullptr;
};

namespace WindowCreation {

// Puts the entry (with the calling thread's id) on the list.
void Add(CreationEntry& entry, void* object) noexcept;
// Takes the oldest entry of the calling thread off the list; null if none.
void* TakeForCurrentThread() noexcept;
// Takes the entry off the list if it is still there (creation failed before
// any message reached the window).
void Remove(CreationEntry& entry) noexcept;

}  // namespace WindowCreation

}  // namespace App
