#include "tests/support/Controls.h"

namespace TestSupport {

std::wstring ItemText(HWND dialog, int id) {
    // WM_GETTEXT is carried across processes; the edit control keeps its
    // text to itself, so GetWindowText from outside would read nothing.
    HWND control = ::GetDlgItem(dialog, id);
    DWORD_PTR length = 0;
    if (!control || !::SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &length))
        return L"<no answer>";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_NORMAL,
                          5000, &copied);
    text.resize(copied);
    return text;
}

bool ItemVisible(HWND dialog, int id) {
    return (::GetWindowLongW(::GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

bool ItemEnabled(HWND dialog, int id) { return ::IsWindowEnabled(::GetDlgItem(dialog, id)) != FALSE; }

std::vector<DWORD> BitmapPixels(HBITMAP bitmap) {
    BITMAP size{};
    if (!bitmap || !::GetObjectW(bitmap, sizeof size, &size)) return {};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size.bmWidth;
    info.bmiHeader.biHeight = -size.bmHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> pixels(static_cast<size_t>(size.bmWidth) * size.bmHeight);
    HDC screen = ::GetDC(nullptr);
    const int rows = ::GetDIBits(screen, bitmap, 0, size.bmHeight, pixels.data(), &info, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    if (rows != size.bmHeight) return {};
    for (auto& p : pixels) p &= 0x00FFFFFF;
    return pixels;
}

}  // namespace TestSupport
