#include "gui/SchemaSetupDialog.h"

#include "ad/Errors.h"

#include <commctrl.h>

#include <stdexcept>

namespace GUI {

BOOL SchemaSetupDialog::ProcessWindowMessage(HWND /*window*/, UINT message, WPARAM wParam,
                                             LPARAM lParam, LRESULT& result, DWORD mapId) {
    if (mapId != 0) return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        result = OnInitDialog();
        return TRUE;
    case WM_DESTROY:
        result = OnDestroy();
        return TRUE;
    case WM_TIMER:
        result = OnTimer();
        return TRUE;
    case WM_ERASEBKGND:
        result = OnEraseBkgnd(reinterpret_cast<HDC>(wParam));
        return TRUE;
    case WM_CTLCOLORSTATIC:
        result = OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        return TRUE;
    case WM_COMMAND:
        // Only the control id counts, not the notification code.
        switch (LOWORD(wParam)) {
        case IDC_SETUP:
            result = OnSetup();
            return TRUE;
        case IDCANCEL:
            result = OnCancel();
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

BOOL SchemaSetupDialog::PreTranslateMessage(MSG* msg) {
    return m_hWnd && ::IsDialogMessageW(m_hWnd, msg);
}

LRESULT SchemaSetupDialog::OnSetup() {
    try {
        StartJob();
    } catch (const std::runtime_error& e) {
        ShowResultOr(L"Domain schema extension has failed.", [&] {
            return L"Domain schema extension has failed.\r\n" + AD::AnsiToWide(e.what());
        });
    }
    return 0;
}

LRESULT SchemaSetupDialog::OnCancel() {
    // Sent inside a stop's wait (an automation tool pressing the button,
    // say): the command comes back once that stop is over. If that stop was
    // this command's own, the window is gone by then and it is dropped, so
    // the window is destroyed and the quit posted once.
    if (m_stopping) {
        ::PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return 0;
    }
    StopJob();
    ::DestroyWindow(m_hWnd);
    ::PostQuitMessage(IDCANCEL);
    return 0;
}

LRESULT SchemaSetupDialog::OnTimer() {
    // A tick sent inside a stop's wait: the stop ends the job itself.
    if (m_stopping) return 1;
    if (!m_jobThread) {
        StopJob();
        // After a job this is a tick that was already queued when StopJob
        // killed the timer (the platform may still deliver one): it says
        // nothing about the extension, so the final display stays. Before
        // any job there is no timer whose tick could come late.
        if (!m_jobStarted) ShowResult(L"Error: received timer tick in inconsistent state.");
        return 1;
    }
    ::SendDlgItemMessageW(m_hWnd, IDC_PROGRESS, PBM_STEPIT, 0, 0);
    bool done = !m_readyEvent || ::WaitForSingleObject(m_readyEvent.get(), 0) == WAIT_OBJECT_0;
    if (done) {
        StopJob();
        // A failed job has shown its failure itself before it set the event.
        if (m_succeeded) ShowResult(L"Domain schema has been successfully extended.");
    }
    return 1;
}

LRESULT SchemaSetupDialog::OnDestroy() {
    if (WTL::CMessageLoop* loop = App::Module.GetMessageLoop()) {
        loop->RemoveMessageFilter(this);
        loop->RemoveIdleHandler(this);
    }
    return 0;
}

}  // namespace GUI
