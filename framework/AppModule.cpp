#include "framework/AppModule.h"

#include <new>

// The linker's symbol for the start of the image that holds this code: the
// exe in the product, the test program in tests.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace WTL {

CAppModule::CAppModule() noexcept
    : m_resourceInstance(reinterpret_cast<HINSTANCE>(&__ImageBase)) {}

CAppModule::~CAppModule() { Term(); }

HRESULT CAppModule::Init() noexcept {
    Scoped::CriticalSection::Lock lock(m_lock);
    m_mainThreadId = ::GetCurrentThreadId();
    delete m_loops;
    m_loops = new (std::nothrow) std::map<DWORD, CMessageLoop*>();
    return m_loops ? S_OK : E_OUTOFMEMORY;
}

void CAppModule::Term() noexcept {
    Scoped::CriticalSection::Lock lock(m_lock);
    delete m_loops;
    m_loops = nullptr;
}

BOOL CAppModule::AddMessageLoop(CMessageLoop* loop) noexcept {
    Scoped::CriticalSection::Lock lock(m_lock);
    if (!m_loops || !loop) return FALSE;
    try {
        return m_loops->emplace(::GetCurrentThreadId(), loop).second ? TRUE : FALSE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

BOOL CAppModule::RemoveMessageLoop() noexcept {
    Scoped::CriticalSection::Lock lock(m_lock);
    if (!m_loops) return FALSE;
    return m_loops->erase(::GetCurrentThreadId()) ? TRUE : FALSE;
}

CMessageLoop* CAppModule::GetMessageLoop(DWORD threadId) noexcept {
    Scoped::CriticalSection::Lock lock(m_lock);
    if (!m_loops) return nullptr;
    auto it = m_loops->find(threadId);
    return it == m_loops->end() ? nullptr : it->second;
}

}  // namespace WTL

namespace App {

WTL::CAppModule Module;

}  // namespace App
