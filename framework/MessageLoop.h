// The message loop of a user-interface thread, with its filters and idle
// handlers.
#pragma once

#include "framework/MessageFilter.h"

#include <windows.h>

#include <vector>

namespace WTL {

class CMessageLoop {
public:
    CMessageLoop() noexcept;
    CMessageLoop(const CMessageLoop&) = delete;
    CMessageLoop& operator=(const CMessageLoop&) = delete;

    // Registration keeps non-owning pointers. Adding fails (FALSE) only when
    // the list cannot grow; removing fails when the pointer is not there.
    // Both are safe while the loop is calling the filters or handlers.
    BOOL AddMessageFilter(CMessageFilter* filter) noexcept;
    BOOL RemoveMessageFilter(CMessageFilter* filter) noexcept;
    BOOL AddIdleHandler(CIdleHandler* handler) noexcept;
    BOOL RemoveIdleHandler(CIdleHandler* handler) noexcept;

    // Pumps the thread's queue until WM_QUIT; returns the low 32 bits of its
    // wParam.
    int Run();

    // Whether a message counts as activity, so that the idle handlers run
    // again once the queue is empty. Mouse moves, paints and the caret's
    // blink timer come all the time without anything having happened.
    static bool IsIdleMessage(const MSG& msg) noexcept;

protected:
    // Asks the filters, last registered first; the first that consumes the
    // message ends the search.
    virtual BOOL PreTranslateMessage(MSG* msg);
    // Calls every idle handler once, in order of registration; their answers
    // are not used, so the result is always FALSE (no further idle work).
    virtual BOOL OnIdle(int idleCount);

    std::vector<CMessageFilter*> m_filters;
    std::vector<CIdleHandler*> m_idleHandlers;
    MSG m_msg;
};

}  // namespace WTL
