// The windows the start-up decision opens, made through a creation function
// that fails: the program must not live on without a window.
#include "app/StartupWindows.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// Takes the quit message posted to this thread, if any.
bool TakeQuit(WPARAM* exitCode) {
    MSG msg;
    if (!::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return false;
    *exitCode = msg.wParam;
    return true;
}

class FailingCreation {
public:
    FailingCreation() {
        previous_ = SetStartupWindowCreation([this](const std::function<HWND()>&) -> HWND {
            ++calls;
            return nullptr;
        });
    }
    ~FailingCreation() { SetStartupWindowCreation(previous_); }
    int calls = 0;

private:
    StartupWindowCreation previous_;
};

struct OpenCase {
    const char* window;
    std::function<bool()> open;
};

TEST(StartupWindows, AWindowThatCannotBeMadeEndsTheProgramWithZero) {
    const OpenCase cases[] = {
        {"download page", [] { return ShowDownloadPage(L"title", L""); }},
        {"outdated prompt", [] { return ShowOutdatedPrompt(L"title"); }},
        {"failure prompt", [] { return ShowStartupFailurePrompt(L"title"); }},
        {"retried start-up window", [] { return RetryStartup(); }},
    };
    for (const OpenCase& c : cases) {
        WPARAM stale = 0;
        while (TakeQuit(&stale)) {
        }
        FailingCreation failing;
        EXPECT_FALSE(c.open()) << c.window;
        EXPECT_EQ(1, failing.calls) << c.window;
        WPARAM exitCode = 99;
        ASSERT_TRUE(TakeQuit(&exitCode)) << c.window << ": no quit message";
        EXPECT_EQ(0u, exitCode) << c.window;
    }
}

TEST(StartupWindows, AWindowThatIsMadePostsNoQuit) {
    HWND made = nullptr;
    const StartupWindowCreation previous =
        SetStartupWindowCreation([&](const std::function<HWND()>& create) { return made = create(); });
    EXPECT_TRUE(ShowOutdatedPrompt(L"title"));
    SetStartupWindowCreation(previous);
    ASSERT_NE(nullptr, made);
    EXPECT_TRUE(::IsWindowVisible(made));
    WPARAM exitCode = 0;
    EXPECT_FALSE(TakeQuit(&exitCode));
    ::DestroyWindow(made);
}

}  // namespace
