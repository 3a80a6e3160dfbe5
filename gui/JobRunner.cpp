// The extension job: a worker thread that runs the schema extension while
// the dialog's thread goes on serving the window, a ready event that says the
// outcome is in place, a cancel event for closing, and the progress timer
// that polls the ready event.
#include "gui/SchemaSetupDialog.h"

#include "ad/Errors.h"
#include "gui/DirectoryCalls.h"
#include "gui/FailureText.h"

#include <commctrl.h>
#include <objbase.h>

#include <stdexcept>

namespace GUI {

namespace {

// A worker that was told to stop and did not is terminated; termination
// itself completes asynchronously, and the worker must be gone before its
// dialog object can be.
const DWORD TerminationWait = 1000;  // ms

HANDLE NewManualResetEvent() noexcept { return ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }

// Waits for the thread, serving meanwhile what other threads send to this
// thread's windows: a worker that is showing its failure waits for each of
// its control operations to be carried out here, and would otherwise sit
// out the whole time-out.
DWORD WaitServingSentMessages(HANDLE thread, DWORD timeout) noexcept {
    const DWORD start = ::GetTickCount();
    for (;;) {
        const DWORD elapsed = ::GetTickCount() - start;
        const DWORD left = elapsed < timeout ? timeout - elapsed : 0;
        const DWORD result = ::MsgWaitForMultipleObjects(1, &thread, FALSE, left, QS_SENDMESSAGE);
        if (result != WAIT_OBJECT_0 + 1) return result;
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

}  // namespace

void SchemaSetupDialog::StartJob() {
    if (m_domainName.empty()) return;
    // One job per dialog. "&Setup" is disabled once a job has started or the
    // final display is up, but a command can still arrive as a message; a
    // second job would take over the handles that the first worker uses.
    if (m_jobThread || m_readyEvent || m_cancelEvent || !::IsWindowEnabled(GetDlgItem(IDC_SETUP)))
        return;

    // A disabled control loses the keyboard focus to no one, and Escape and
    // Enter would then reach no control of the dialog: "&Setup" hands the
    // focus to button 2 first.
    HWND setup = GetDlgItem(IDC_SETUP);
    if (::GetFocus() == setup)
        ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(IDCANCEL)), TRUE);
    ::EnableWindow(setup, FALSE);
    ::ShowWindow(GetDlgItem(IDC_DETAILS), SW_HIDE);
    ::ShowWindow(GetDlgItem(IDC_DETAILS_GROUP), SW_HIDE);
    ::SetDlgItemTextW(m_hWnd, IDC_INSTRUCTION,
                      L"Wait please while domain schema extension takes place.");
    ::ShowWindow(GetDlgItem(IDC_WAIT_LABEL), SW_SHOW);
    ::ShowWindow(GetDlgItem(IDC_PROGRESS), SW_SHOW);
    ::SendDlgItemMessageW(m_hWnd, IDC_PROGRESS, PBM_SETPOS, 0, 0);

    // What is created here stays in its member until StopJob closes it.
    m_readyEvent.reset(NewManualResetEvent());
    if (!m_readyEvent) throw std::runtime_error("Unable to create `ready' event.");
    m_cancelEvent.reset(NewManualResetEvent());
    if (!m_cancelEvent) throw std::runtime_error("Unable to create `cancel' event.");
    m_jobThread.reset(::CreateThread(nullptr, 0, JobThreadProc, this, 0, nullptr));
    if (!m_jobThread) throw std::runtime_error("Unable to create extending job thread.");
    m_jobStarted = true;
    if (!::SetTimer(m_hWnd, ProgressTimerId, ProgressTimerPeriod, nullptr))
        throw std::runtime_error("Unable to setup progress check timer.");
}

void SchemaSetupDialog::StopJob() noexcept {
    // Called again from inside its own wait (a sent message): the outer call
    // owns the handles until it returns.
    if (m_stopping) return;
    m_stopping = true;
    ::KillTimer(m_hWnd, ProgressTimerId);
    if (m_jobThread) {
        if (m_cancelEvent) ::SetEvent(m_cancelEvent.get());
        DWORD waited = WaitServingSentMessages(m_jobThread.get(), JobStopTimeout);
        // A wait that failed says nothing about the worker: ask once more,
        // without serving messages.
        if (waited == WAIT_FAILED) waited = ::WaitForSingleObject(m_jobThread.get(), JobStopTimeout);
        if (waited == WAIT_TIMEOUT) {
            ::TerminateThread(m_jobThread.get(), 0);
            waited = ::WaitForSingleObject(m_jobThread.get(), TerminationWait);
        }
        // A worker that outlives even its termination, or one whose handle
        // cannot be waited on, may still use this object and the job's
        // handles, so none of it may be freed: the process ends here, with
        // the code of a closed dialog.
        if (waited != WAIT_OBJECT_0) ::TerminateProcess(::GetCurrentProcess(), IDCANCEL);
        m_jobThread.reset();
    }
    m_readyEvent.reset();
    m_cancelEvent.reset();
    m_stopping = false;
}

// Every way out of the worker shows its outcome or leaves it to the timer
// (success), and then sets the ready event; nothing it throws leaves it.
DWORD WINAPI SchemaSetupDialog::JobThreadProc(void* parameter) {
    auto* self = static_cast<SchemaSetupDialog*>(parameter);

    HRESULT hr = ::CoInitialize(nullptr);
    if (FAILED(hr)) {
        self->ShowResultOr(L"Domain schema extension has failed.",
                           [hr] { return AD::DescribeHResult(hr); });
        ::SetEvent(self->m_readyEvent.get());
        return 1;
    }

    self->m_succeeded = false;
    try {
        Directory.extendSchema(self->m_domainName, self->m_cancelEvent.get());
        self->m_succeeded = true;
    } catch (const AD::HResultException& e) {
        // Still on the thread whose directory call failed, so the
        // directory's extended error is there for DescribeHResult.
        self->ShowResultOr(L"Domain schema extension has failed.", [&e] {
            return AD::AnsiToWide(e.what()) + L":\r\n" + AD::DescribeHResult(e.hresult());
        });
    } catch (...) {
        // Out of memory or anything else that is not a directory failure:
        // reported the same way, so the completion protocol holds.
        self->ShowResultOr(L"Domain schema extension has failed.", [] {
            return L"Domain schema extension has failed.\r\n" + DescribeCurrentException();
        });
    }
    ::SetEvent(self->m_readyEvent.get());
    ::CoUninitialize();
    return 0;
}

}  // namespace GUI
