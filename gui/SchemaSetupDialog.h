// The program's one window: shows the schema master to verify, runs the
// schema extension on a worker thread and shows how it ended.
#pragma once

#include "gui/DialogIds.h"
#include "base/Scoped.h"
#include "framework/DialogImpl.h"
#include "framework/MessageFilter.h"
#include "framework/UpdateUI.h"

#include <windows.h>

#include <string>

namespace GUI {

class SchemaSetupDialog : public ATL::CDialogImpl<SchemaSetupDialog, ATL::CWindow>,
                          public WTL::CUpdateUI<SchemaSetupDialog>,
                          public WTL::CMessageFilter,
                          public WTL::CIdleHandler {
public:
    enum { IDD = IDD_SCHEMA_SETUP };

    static const UINT_PTR ProgressTimerId = 1;
    static const UINT ProgressTimerPeriod = 1000;  // ms
    static const DWORD JobStopTimeout = 10000;     // ms

    SchemaSetupDialog() noexcept = default;
    // A job still running (the loop ended on a quit message that the Cancel
    // command did not post) is stopped before the members it uses go.
    ~SchemaSetupDialog() override { StopJob(); }

    BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result, DWORD mapId) override;

    // The dialog's keyboard interface: Tab, Enter, Escape, mnemonics.
    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnIdle() override { return FALSE; }

    // The final display: every outcome reaches the user here. Runs on the
    // dialog's thread and on the worker; the picture follows m_succeeded.
    void ShowResult(const wchar_t* text) noexcept;

private:
    // Look and initialisation (DialogLook.cpp).
    LRESULT OnInitDialog();
    LRESULT OnEraseBkgnd(HDC dc);
    LRESULT OnCtlColorStatic(HDC dc, HWND control);
    void CenterOnWorkArea() noexcept;

    // Commands, timer and teardown (SchemaSetupDialog.cpp).
    LRESULT OnSetup();
    LRESULT OnCancel();
    LRESULT OnTimer();
    LRESULT OnDestroy();

    // The schema master shown on start (SchemaMasterDetails.cpp).
    void ShowSchemaMasterDetails() noexcept;

    // The job (JobRunner.cpp).
    void StartJob();
    void StopJob() noexcept;
    static DWORD WINAPI JobThreadProc(void* parameter);

    // ShowResult with the text that make() builds; if building it fails
    // (no memory left), ShowResult with fallback, which needs no allocation.
    template <typename Make>
    void ShowResultOr(const wchar_t* fallback, Make make) noexcept {
        try {
            std::wstring text = make();
            ShowResult(text.c_str());
        } catch (...) {
            ShowResult(fallback);
        }
    }

    Scoped::GdiObject<HBITMAP> m_banner;
    // Written by the details step before "&Setup" can be pressed; afterwards
    // only read, also by the worker.
    std::wstring m_domainName;
    Scoped::Handle m_readyEvent;
    Scoped::Handle m_cancelEvent;
    // Written by the worker only before it sets the ready event; read by the
    // dialog's thread only after it has seen the event.
    bool m_succeeded = false;
    Scoped::Handle m_jobThread;
    // Set once StartJob has started a worker: from then on a tick without a
    // job is a late one of the killed timer, not an inconsistency.
    bool m_jobStarted = false;
    // Set while StopJob waits for the worker. That wait serves what other
    // threads send to the window, so a close command or a tick can arrive
    // inside it; none of them may touch the job's handles meanwhile.
    bool m_stopping = false;
};

}  // namespace GUI
