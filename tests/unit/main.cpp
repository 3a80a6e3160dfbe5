#include <gtest/gtest.h>

#include <objbase.h>

// The directory code runs in a single-threaded apartment, as in the program.
int main(int argc, char** argv) {
    ::CoInitialize(nullptr);
    ::testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    ::CoUninitialize();
    return result;
}
