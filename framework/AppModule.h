// The application module: the one process-wide object that knows the
// program's own image and which message loop runs on which thread.
#pragma once

#include "framework/MessageLoop.h"
#include "base/Scoped.h"

#include <windows.h>

#include <map>

namespace WTL {

class CAppModule {
public:
    CAppModule() noexcept;
    CAppModule(const CAppModule&) = delete;
    CAppModule& operator=(const CAppModule&) = delete;
    ~CAppModule();

    // Records the calling thread as the main thread and creates the empty
    // loop registry: S_OK, or E_OUTOFMEMORY when it cannot be allocated.
    HRESULT Init() noexcept;
    // Frees the registry.
    void Term() noexcept;

    // The registry: one loop per thread. Each call holds the module's lock
    // for the list operation only. Adding fails (FALSE) without a registry,
    // when the thread already has a loop, or when no memory is left.
    BOOL AddMessageLoop(CMessageLoop* loop) noexcept;
    BOOL RemoveMessageLoop() noexcept;
    // Null when the thread has no loop.
    CMessageLoop* GetMessageLoop(DWORD threadId = ::GetCurrentThreadId()) noexcept;

    DWORD MainThreadId() const noexcept { return m_mainThreadId; }
    // The program's own image: the dialog template, pictures and icons.
    HINSTANCE ResourceInstance() const noexcept { return m_resourceInstance; }

private:
    DWORD m_mainThreadId = 0;
    Scoped::CriticalSection m_lock;
    std::map<DWORD, CMessageLoop*>* m_loops = nullptr;
    HINSTANCE m_resourceInstance;
};

}  // namespace WTL

namespace App {

// Constructed before the entry point runs; lives until the process ends.
extern WTL::CAppModule Module;

}  // namespace App
