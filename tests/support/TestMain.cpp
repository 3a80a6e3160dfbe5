// The one main of every test program: the thread set up as the program sets
// up its own, a single-threaded apartment (as every ADSI caller here) with
// the common controls' bar classes registered.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const HRESULT com = ::CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);
    const int result = RUN_ALL_TESTS();
    if (SUCCEEDED(com)) ::CoUninitialize();
    return result;
}
