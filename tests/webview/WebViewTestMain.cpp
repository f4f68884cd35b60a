// The web pane tests run on a thread with a single-threaded COM apartment,
// initialised as the program's entry point does it.
#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
    // Unbuffered, so the results so far are seen even when the run crashes.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    ::CoInitialize(nullptr);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    ::CoUninitialize();
    return result;
}
