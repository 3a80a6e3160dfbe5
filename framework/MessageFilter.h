// The two hooks a window registers with its thread's message loop: a filter
// that sees each message before it is translated and dispatched, and an idle
// handler that runs when the queue has run empty.
#pragma once

#include <windows.h>

namespace WTL {

class CMessageFilter {
public:
    // True when the message was consumed and must not be dispatched.
    virtual BOOL PreTranslateMessage(MSG* msg) = 0;

protected:
    ~CMessageFilter() = default;
};

class CIdleHandler {
public:
    // True when more idle work is wanted.
    virtual BOOL OnIdle() = 0;

protected:
    ~CIdleHandler() = default;
};

}  // namespace WTL
