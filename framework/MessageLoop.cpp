#include "framework/MessageLoop.h"

#include <algorithm>
#include <new>

namespace WTL {

namespace {

// The system timer that blinks the caret; it has no name in the headers.
const UINT WM_SYSTIMER = 0x0118;

template <typename T>
BOOL AddTo(std::vector<T*>& list, T* item) noexcept {
    try {
        list.push_back(item);
        return TRUE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

template <typename T>
BOOL RemoveFrom(std::vector<T*>& list, T* item) noexcept {
    auto it = std::find(list.begin(), list.end(), item);
    if (it == list.end()) return FALSE;
    list.erase(it);
    return TRUE;
}

}  // namespace

CMessageLoop::CMessageLoop() noexcept : m_msg{} {}

BOOL CMessageLoop::AddMessageFilter(CMessageFilter* filter) noexcept {
    return AddTo(m_filters, filter);
}

BOOL CMessageLoop::RemoveMessageFilter(CMessageFilter* filter) noexcept {
    return RemoveFrom(m_filters, filter);
}

BOOL CMessageLoop::AddIdleHandler(CIdleHandler* handler) noexcept {
    return AddTo(m_idleHandlers, handler);
}

BOOL CMessageLoop::RemoveIdleHandler(CIdleHandler* handler) noexcept {
    return RemoveFrom(m_idleHandlers, handler);
}

bool CMessageLoop::IsIdleMessage(const MSG& msg) noexcept {
    switch (msg.message) {
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
    case WM_PAINT:
    case WM_SYSTIMER:
        return false;
    default:
        return true;
    }
}

// Filters and handlers are walked by index, re-checked against the current
// size on every step: a dialog that closes from inside its filter (Escape
// reaches IsDialogMessageW, which sends the Cancel command, which destroys the
// window) unregisters itself while this walk is under way.
BOOL CMessageLoop::PreTranslateMessage(MSG* msg) {
    for (size_t i = m_filters.size(); i-- > 0;) {
        if (i >= m_filters.size()) continue;
        if (m_filters[i]->PreTranslateMessage(msg)) return TRUE;
    }
    return FALSE;
}

BOOL CMessageLoop::OnIdle(int /*idleCount*/) {
    for (size_t i = 0; i < m_idleHandlers.size(); ++i) m_idleHandlers[i]->OnIdle();
    return FALSE;
}

int CMessageLoop::Run() {
    bool idleWanted = true;
    int idleCount = 0;
    for (;;) {
        while (idleWanted && !::PeekMessageW(&m_msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!OnIdle(idleCount++)) idleWanted = false;
        }
        BOOL got = ::GetMessageW(&m_msg, nullptr, 0, 0);
        if (got == -1) continue;  // an error; nothing was taken off the queue
        if (!got) break;          // WM_QUIT
        if (!PreTranslateMessage(&m_msg)) {
            ::TranslateMessage(&m_msg);
            ::DispatchMessageW(&m_msg);
        }
        if (IsIdleMessage(m_msg)) {
            idleWanted = true;
            idleCount = 0;
        }
    }
    return static_cast<int>(static_cast<UINT>(m_msg.wParam));
}

}  // namespace WTL
