#include "framework/WindowCreation.h"

#include "base/Scoped.h"

namespace App {
namespace WindowCreation {

namespace {

// A list of its own, with a lock of its own: the module's lock guards the
// loop registry only.
Scoped::CriticalSection ListLock;
CreationEntry* Head = nullptr;

}  // namespace

void Add(CreationEntry& entry, void* object) noexcept {
    Scoped::CriticalSection::Lock lock(ListLock);
    entry.object = object;
    entry.threadId = ::GetCurrentThreadId();
    entry.next = nullptr;
    CreationEntry** tail = &Head;
    while (*tail) tail = &(*tail)->next;
    *tail = &entry;
}

void* TakeForCurrentThread() noexcept {
    Scoped::CriticalSection::Lock lock(ListLock);
    DWORD self = ::GetCurrentThreadId();
    for (CreationEntry** link = &Head; *link; link = &(*link)->next) {
        if ((*link)->threadId != self) continue;
        CreationEntry* entry = *link;
        *link = entry->next;
        entry->next = nullptr;
        return entry->object;
    }
    return nullptr;
}

void Remove(CreationEntry& entry) noexcept {
    Scoped::CriticalSection::Lock lock(ListLock);
    for (CreationEntry** link = &Head; *link; link = &(*link)->next) {
        if (*link != &entry) continue;
        *link = entry.next;
        entry.next = nullptr;
        return;
    }
}

}  // namespace WindowCreation
}  // namespace App
