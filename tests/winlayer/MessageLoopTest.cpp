#include "winlayer/AppModule.h"
#include "winlayer/MessageLoop.h"
#include "winlayer/WindowImpl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class RecordingFilter : public CMessageFilter {
public:
    RecordingFilter(std::vector<int>& order, int id, bool consume) : order_(order), id_(id), consume_(consume) {}
    BOOL PreTranslateMessage(MSG*) override {
        order_.push_back(id_);
        return consume_;
    }

private:
    std::vector<int>& order_;
    int id_;
    bool consume_;
};

TEST(MessageLoop, FiltersAreAskedFromTheLastRegisteredToTheFirst) {
    std::vector<int> order;
    RecordingFilter first(order, 1, false), second(order, 2, true), third(order, 3, false);
    CMessageLoop loop;
    loop.AddMessageFilter(&first);
    loop.AddMessageFilter(&second);
    loop.AddMessageFilter(&third);
    MSG msg{};
    EXPECT_TRUE(loop.PreTranslateMessage(&msg));
    EXPECT_EQ((std::vector<int>{3, 2}), order);  // the second consumed it; the first never saw it

    order.clear();
    EXPECT_TRUE(loop.RemoveMessageFilter(&second));
    EXPECT_FALSE(loop.RemoveMessageFilter(&second));
    EXPECT_FALSE(loop.PreTranslateMessage(&msg));
    EXPECT_EQ((std::vector<int>{3, 1}), order);
}

class CountingWindow : public CWindowImplBase {
public:
    int userMessages = 0;
    BOOL ProcessWindowMessage(HWND, UINT msg, WPARAM, LPARAM, LRESULT& result) override {
        if (msg != WM_APP) return FALSE;
        ++userMessages;
        result = 0;
        return TRUE;
    }
};

class Consumer : public CMessageFilter {
public:
    BOOL PreTranslateMessage(MSG* msg) override { return msg->message == WM_APP && msg->wParam == 1; }
};

TEST(MessageLoop, RunDispatchesWhatNoFilterConsumesAndReturnsTheQuitCode) {
    CountingWindow window;
    ASSERT_TRUE(window.Create(HWND_MESSAGE, RECT{0, 0, 0, 0}, L"", 0));
    Consumer consumer;
    CMessageLoop loop;
    loop.AddMessageFilter(&consumer);
    window.PostMessage(WM_APP, 1, 0);  // consumed by the filter
    window.PostMessage(WM_APP, 2, 0);
    window.PostMessage(WM_APP, 3, 0);
    ::PostQuitMessage(7);
    EXPECT_EQ(7, loop.Run());
    EXPECT_EQ(2, window.userMessages);
    window.DestroyWindow();
}

TEST(AppModule, KeepsOneLoopPerThread) {
    CAppModule module;
    module.Init(::GetModuleHandleW(nullptr));
    EXPECT_EQ(::GetCurrentThreadId(), module.GetMainThreadId());
    CMessageLoop a, b;
    EXPECT_TRUE(module.AddMessageLoop(&a));
    EXPECT_FALSE(module.AddMessageLoop(&b));
    EXPECT_EQ(&a, module.GetMessageLoop());
    EXPECT_TRUE(module.RemoveMessageLoop());
    EXPECT_EQ(nullptr, module.GetMessageLoop());
}

class NamedWindow : public CWindowImplBase {
public:
    explicit NamedWindow(const wchar_t* className) { info_.className = className; }
    CWndClassInfo& GetWndClassInfo() override { return info_; }
    BOOL ProcessWindowMessage(HWND, UINT, WPARAM, LPARAM, LRESULT&) override { return FALSE; }

private:
    CWndClassInfo info_;
};

TEST(WindowImpl, ExplicitClassNamesAreFoundAndGeneratedOnesDiffer) {
    NamedWindow named(L"VorlaTestClass9901");
    ASSERT_TRUE(named.Create(nullptr, RECT{0, 0, 50, 50}, L"named", WS_POPUP));
    EXPECT_EQ(named.m_hWnd, ::FindWindowW(L"VorlaTestClass9901", nullptr));
    EXPECT_EQ(L"named", named.GetWindowText());

    CountingWindow a, b;
    ASSERT_TRUE(a.Create(nullptr, RECT{0, 0, 10, 10}, L"", WS_POPUP));
    ASSERT_TRUE(b.Create(nullptr, RECT{0, 0, 10, 10}, L"", WS_POPUP));
    // Both use the one generated class of their type.
    EXPECT_EQ(a.GetRegisteredClassName(), b.GetRegisteredClassName());
    EXPECT_EQ(0u, a.GetRegisteredClassName().find(L"Vorla:"));
    EXPECT_NE(named.GetRegisteredClassName(), a.GetRegisteredClassName());

    // The handle is cleared once the window is gone.
    named.DestroyWindow();
    EXPECT_EQ(nullptr, named.m_hWnd);
    a.DestroyWindow();
    b.DestroyWindow();
}

TEST(WindowImpl, CenterWindowPlacesTheWindowInTheWorkArea) {
    CountingWindow window;
    ASSERT_TRUE(window.Create(nullptr, RECT{0, 0, 404, 201}, L"", WS_POPUP));
    ASSERT_TRUE(window.CenterWindow());
    RECT rc, work;
    window.GetWindowRect(&rc);
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR((work.left + work.right) / 2, (rc.left + rc.right) / 2, 1);
    EXPECT_NEAR((work.top + work.bottom) / 2, (rc.top + rc.bottom) / 2, 1);
    window.DestroyWindow();
}

}  // namespace
