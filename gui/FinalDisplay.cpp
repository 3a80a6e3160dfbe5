// The final display, where every outcome of the run is shown.
#include "gui/SchemaSetupDialog.h"

namespace GUI {

namespace {

void Show(HWND dialog, int id, int how) noexcept { ::ShowWindow(::GetDlgItem(dialog, id), how); }

}  // namespace

// Called from the worker too: each control operation below is then carried
// out on the dialog's thread while the worker waits.
void SchemaSetupDialog::ShowResult(const wchar_t* text) noexcept {
    Show(m_hWnd, IDC_PROGRESS, SW_HIDE);
    Show(m_hWnd, IDC_WAIT_LABEL, SW_HIDE);
    Show(m_hWnd, IDC_DETAILS, SW_HIDE);
    Show(m_hWnd, IDC_DETAILS_GROUP, SW_HIDE);

    Show(m_hWnd, IDC_RESULT_TEXT, SW_SHOWNORMAL);
    ::SetDlgItemTextW(m_hWnd, IDC_RESULT_TEXT, text);
    ::SetDlgItemTextW(m_hWnd, IDC_INSTRUCTION, L"Utility has finished, press `Exit' button.");

    // The picture stays with the control until the process ends; a picture
    // that cannot be loaded leaves the control empty.
    HANDLE picture =
        ::LoadImageW(App::Module.ResourceInstance(),
                     MAKEINTRESOURCEW(m_succeeded ? IDB_SUCCESS : IDB_FAILURE), IMAGE_BITMAP, 0,
                     0, LR_DEFAULTCOLOR);
    Show(m_hWnd, IDC_STATUS_PICTURE, SW_SHOWNORMAL);
    ::SendDlgItemMessageW(m_hWnd, IDC_STATUS_PICTURE, STM_SETIMAGE, IMAGE_BITMAP,
                          reinterpret_cast<LPARAM>(picture));

    ::EnableWindow(GetDlgItem(IDC_SETUP), FALSE);
    ::SetDlgItemTextW(m_hWnd, IDCANCEL, L"&Exit");
}

}  // namespace GUI
