#include "framework/DialogImpl.h"

namespace ATL {

namespace {

// The dialog manager hands these messages' results back from the dialog
// procedure's return value; every other result travels in DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) noexcept {
    switch (message) {
    case WM_INITDIALOG:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
        return true;
    default:
        return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
    }
}

CDialogImplBase* BoundObject(HWND window) noexcept {
    return reinterpret_cast<CDialogImplBase*>(::GetWindowLongPtrW(window, DWLP_USER));
}

}  // namespace

CDialogImplBase::~CDialogImplBase() {
    App::WindowCreation::Remove(m_creation);
    if (m_hWnd) {
        HWND window = m_hWnd;
        m_hWnd = nullptr;
        ::SetWindowLongPtrW(window, DWLP_USER, 0);
        ::DestroyWindow(window);
    }
}

HWND CDialogImplBase::CreateFromTemplate(HINSTANCE instance, int templateId, HWND parent,
                                         LPARAM initParam) noexcept {
    if (m_hWnd) return nullptr;
    App::WindowCreation::Add(m_creation, this);
    HWND window = ::CreateDialogParamW(instance, MAKEINTRESOURCEW(templateId), parent,
                                       StartDialogProc, initParam);
    // When the template could not be instantiated no message reached the
    // start procedure; the entry must not stay behind for the next window
    // this thread creates.
    App::WindowCreation::Remove(m_creation);
    return window;
}

INT_PTR CALLBACK CDialogImplBase::StartDialogProc(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
    auto* self = static_cast<CDialogImplBase*>(App::WindowCreation::TakeForCurrentThread());
    if (!self) return FALSE;
    self->m_hWnd = window;
    ::SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    DLGPROC proc = self->GetDialogProc();
    ::SetWindowLongPtrW(window, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));
    return proc(window, message, wParam, lParam);
}

INT_PTR CALLBACK CDialogImplBase::DialogProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    CDialogImplBase* self = BoundObject(window);
    if (!self) return FALSE;

    LRESULT result = 0;
    BOOL handled = FALSE;
    // Handlers turn their own failures into a display; this is the last
    // line that keeps an exception from unwinding into the system's frames.
    try {
        handled = self->ProcessWindowMessage(window, message, wParam, lParam, result, 0);
    } catch (...) {
        handled = FALSE;
    }

    INT_PTR answer = FALSE;
    if (handled) {
        if (ReturnsResultDirectly(message)) {
            answer = static_cast<INT_PTR>(result);
        } else {
            ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
            answer = TRUE;
        }
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, DWLP_USER, 0);
        self->m_hWnd = nullptr;
        self->OnFinalMessage(window);
    }
    return answer;
}

}  // namespace ATL
