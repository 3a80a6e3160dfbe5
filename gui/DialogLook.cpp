// How the dialog looks: centring, icons, the banner behind the whole client
// area, white static controls and the title's font and colour.
#include "gui/SchemaSetupDialog.h"

namespace GUI {

namespace {

const COLORREF TitleColour = RGB(0, 51, 153);

// The window's icons are never destroyed: the window uses them until the
// process ends.
void SetIcon(HWND window, WPARAM which, int cxMetric, int cyMetric) noexcept {
    HANDLE icon = ::LoadImageW(App::Module.ResourceInstance(), MAKEINTRESOURCEW(IDI_MAIN),
                               IMAGE_ICON, ::GetSystemMetrics(cxMetric),
                               ::GetSystemMetrics(cyMetric), LR_DEFAULTCOLOR);
    ::SendMessageW(window, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
}

// Keeps [start, start + size) inside [low, high), preferring the low edge
// when it does not fit.
LONG Clamp(LONG start, LONG size, LONG low, LONG high) noexcept {
    if (start + size > high) start = high - size;
    if (start < low) start = low;
    return start;
}

}  // namespace

LRESULT SchemaSetupDialog::OnInitDialog() {
    CenterOnWorkArea();
    SetIcon(m_hWnd, ICON_BIG, SM_CXICON, SM_CYICON);
    SetIcon(m_hWnd, ICON_SMALL, SM_CXSMICON, SM_CYSMICON);
    m_banner.reset(::LoadBitmapW(App::Module.ResourceInstance(), MAKEINTRESOURCEW(IDB_BANNER)));

    // The loop is registered before the window is created; without one the
    // dialog still works, only without its keyboard interface.
    if (WTL::CMessageLoop* loop = App::Module.GetMessageLoop()) {
        loop->AddMessageFilter(this);
        loop->AddIdleHandler(this);
    }
    UIAddChildWindowContainer(m_hWnd);

    HWND details = GetDlgItem(IDC_DETAILS);
    ::SetWindowLongW(details, GWL_STYLE,
                     ::GetWindowLongW(details, GWL_STYLE) | WS_VSCROLL | WS_HSCROLL);

    ShowSchemaMasterDetails();

    m_jobThread.reset();
    m_readyEvent.reset();
    m_cancelEvent.reset();
    m_succeeded = false;
    return TRUE;
}

// The dialog has neither parent nor owner: centre it on the work area of the
// monitor nearest to where the system put it.
void SchemaSetupDialog::CenterOnWorkArea() noexcept {
    RECT window{};
    ::GetWindowRect(m_hWnd, &window);
    LONG width = window.right - window.left;
    LONG height = window.bottom - window.top;

    HMONITOR monitor = ::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST);
    if (!monitor) return;
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!::GetMonitorInfoW(monitor, &info)) return;
    const RECT& area = info.rcWork;

    LONG left = (area.left + area.right) / 2 - width / 2;
    LONG top = (area.top + area.bottom) / 2 - height / 2;
    left = Clamp(left, width, area.left, area.right);
    top = Clamp(top, height, area.top, area.bottom);
    ::SetWindowPos(m_hWnd, nullptr, left, top, -1, -1,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT SchemaSetupDialog::OnEraseBkgnd(HDC dc) {
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    HBRUSH white = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));

    BITMAP size{};
    if (!m_banner || !::GetObjectW(m_banner.get(), sizeof size, &size)) {
        ::FillRect(dc, &client, white);
        return 1;
    }
    Scoped::MemoryDC memory(dc);
    if (!memory.get()) {
        ::FillRect(dc, &client, white);
        return 1;
    }
    memory.select(m_banner.get());
    ::BitBlt(dc, client.left, client.top, size.bmWidth, size.bmHeight, memory.get(), 0, 0,
             SRCCOPY);

    // At 96 DPI with the template font the banner covers the client area
    // exactly; with a substituted font the area can come out larger, and
    // what the banner does not reach is painted like its white field.
    RECT right = {client.left + size.bmWidth, client.top, client.right, client.bottom};
    if (right.left < right.right) ::FillRect(dc, &right, white);
    RECT below = {client.left, client.top + size.bmHeight, client.left + size.bmWidth,
                  client.bottom};
    if (below.top < below.bottom) ::FillRect(dc, &below, white);
    return 1;
}

LRESULT SchemaSetupDialog::OnCtlColorStatic(HDC dc, HWND control) {
    if (control == GetDlgItem(IDC_TITLE)) {
        // Made on the title's first paint and kept for the life of the
        // process; a font that cannot be made leaves the template font.
        static const HFONT titleFont =
            ::CreateFontW(-14, 0, 0, 0, 0, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
        ::SetTextColor(dc, TitleColour);
        if (titleFont) ::SelectObject(dc, titleFont);
    }
    ::SetBkMode(dc, OPAQUE);
    return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
}

}  // namespace GUI
