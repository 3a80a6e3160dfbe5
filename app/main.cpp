// Process entry: COM and the common controls for the main thread, the
// application module, the setup dialog, and the teardown in reverse order.
// The DLL search was restricted to System32 before this runs
// (ProcessStart.cpp).
#include "app/RunSetupDialog.h"
#include "framework/AppModule.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int showCommand) {
    // Failures here are not fatal: without COM every directory call fails
    // and the dialog shows that; without the bar classes the progress bar is
    // missing but the job still runs.
    HRESULT com = ::CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);
    App::Module.Init();

    int exitCode = App::RunSetupDialog(showCommand);

    App::Module.Term();
    if (SUCCEEDED(com)) ::CoUninitialize();
    return exitCode;
}
