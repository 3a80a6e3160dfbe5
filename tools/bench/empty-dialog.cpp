// The benchmarks' baseline: the emptiest program that still does what
// schema-modify does before its details appear - COM and common controls
// started, one modeless dialog of the same size, style and font created
// from a template and shown, with only a Cancel button, and a message loop
// that ends on Cancel with code 2. No pictures, and no directory but what
// the floor (floor-discovery.cpp) adds where the program makes its first
// directory call.
#include "tools/bench/Marks.h"

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
    if (message == WM_INITDIALOG) {
        Bench::Mark("dialog_created");
        Bench::BeforeShown();
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    Bench::Mark("main_entered");
    ::CoInitialize(nullptr);
    Bench::Mark("com_started");
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_BAR_CLASSES;
    ::InitCommonControlsEx(&controls);
    Bench::Mark("common_controls_started");
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
