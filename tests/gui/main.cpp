// The dialog's tests run on a main thread set up like the program's own: an
// apartment, the bar classes and an initialised module.
#include "framework/AppModule.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);
    App::Module.Init();
    int result = RUN_ALL_TESTS();
    App::Module.Term();
    ::CoUninitialize();
    return result;
}
