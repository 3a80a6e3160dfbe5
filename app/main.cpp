// Process entry: DLLs from System32 only, COM and the common controls for
// the main thread, the application module, the setup dialog, and the
// teardown in reverse order.
#include "app/RunSetupDialog.h"
#include "framework/AppModule.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

namespace {

// The process runs elevated, usually from a download folder: nothing that
// it, COM or the common controls load by name later may come from the
// exe's folder or the current directory. Windows 7 without its 2011 loader
// update lacks the call, hence the look-up; there the delay-load hook
// (ad/DirectoryLibrary.cpp) still takes activeds.dll from System32.
void TakeDllsFromSystem32Only() noexcept {
    using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    FARPROC found = kernel ? ::GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
    if (found)
        reinterpret_cast<SetDefaultDllDirectoriesCall>(reinterpret_cast<void (*)()>(found))(
            LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int showCommand) {
    TakeDllsFromSystem32Only();
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
