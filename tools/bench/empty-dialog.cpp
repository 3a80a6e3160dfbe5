// The benchmarks' baseline: the emptiest program that still does what
// schema-modify does before its details appear - COM and common controls
// started, one modeless dialog of the same size, style and font created
// from a template and shown, with only a Cancel button, and a message loop
// that ends on Cancel with code 2. No directory, no pictures.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

namespace {

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        ::DestroyWindow(dialog);
        ::PostQuitMessage(2);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    ::CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_BAR_CLASSES;
    ::InitCommonControlsEx(&controls);
    int code = 0;
    HWND dialog = ::CreateDialogParamW(instance, MAKEINTRESOURCEW(5), nullptr, DialogProc, 0);
    if (dialog) {
        ::ShowWindow(dialog, show);
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
            if (!::IsDialogMessageW(dialog, &msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        code = static_cast<int>(msg.wParam);
    }
    ::CoUninitialize();
    return code;
}
