// Small decisions of the entry and the start-up window.
#include "app/CallBack.h"
#include "app/Entry.h"
#include "app/MainDlg.h"

#include "app/AppMessages.h"
#include "winlayer/WindowImpl.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

TEST(Entry, AnotherCopyRunsWhenTheMutexExistedOrCannotBeOpened) {
    HANDLE someHandle = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x40));
    EXPECT_TRUE(IsAnotherCopyRunning(someHandle, ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(IsAnotherCopyRunning(someHandle, ERROR_ACCESS_DENIED));
    // An elevated first copy: access denied comes with no handle at all.
    EXPECT_TRUE(IsAnotherCopyRunning(nullptr, ERROR_ACCESS_DENIED));
    EXPECT_FALSE(IsAnotherCopyRunning(someHandle, ERROR_SUCCESS));
    EXPECT_FALSE(IsAnotherCopyRunning(nullptr, ERROR_INVALID_NAME));
    EXPECT_FALSE(IsAnotherCopyRunning(nullptr, ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(AcceptCommandLine(L"--anything at all"));
}

TEST(Startup, WindowTitleCarriesTheGameName) {
    EXPECT_EQ(L"Vorla游戏下载器-星辰远征专版", FormatWindowTitle(L"星辰远征"));
    EXPECT_EQ(L"Vorla游戏下载器-专版", FormatWindowTitle(L""));
}

TEST(Startup, LoadPositionsSplitTheBarBetweenConfigurationAndSkin) {
    EXPECT_EQ(10, ConfigLoadPosition(50, 100, 1));
    EXPECT_EQ(30, ConfigLoadPosition(50, 100, 2));
    EXPECT_EQ(20, ConfigLoadPosition(100, 100, 1));
    EXPECT_EQ(40, ConfigLoadPosition(100, 100, 2));
    EXPECT_EQ(0, ConfigLoadPosition(50, 0, 1));
    EXPECT_EQ(0, ConfigLoadPosition(50, 0, 2));
    EXPECT_EQ(6, ConfigLoadPosition(1, 3, 1));  // 6.67 truncated
}

class ReportRecorder : public CWindowImplBase {
public:
    std::vector<std::pair<WPARAM, LPARAM>> reports;
    BOOL ProcessWindowMessage(HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override {
        if (msg != WM_CONFIG_INIT) return FALSE;
        reports.emplace_back(wp, lp);
        result = 0;
        return TRUE;
    }
};

TEST(Startup, CallBackSendsOnlyBodyProgressOfAKnownTransfer) {
    ReportRecorder window;
    ASSERT_TRUE(window.Create(HWND_MESSAGE, RECT{0, 0, 0, 0}, L"", 0));
    CallBack callback(window);
    callback.OnConfigInitStatus(0, 0, HTTP_PROGRESS_OPENED, 1);
    callback.OnConfigInitStatus(0, 0, HTTP_PROGRESS_ACCEPTED, 1);
    callback.OnConfigInitStatus(50, 100, HTTP_PROGRESS_RECEIVING, 0);
    callback.OnConfigInitStatus(50, 100, HTTP_PROGRESS_RECEIVING, 1);
    callback.OnConfigInitStatus(50, 100, HTTP_PROGRESS_RECEIVING, 2);
    callback.OnConfigInitStatus(0, 0, HTTP_PROGRESS_FINISHED, 2);
    const std::vector<std::pair<WPARAM, LPARAM>> expected = {{10, LOAD_REPORT_PROGRESS}, {30, LOAD_REPORT_PROGRESS}};
    EXPECT_EQ(expected, window.reports);
    window.DestroyWindow();
}

TEST(Startup, StartupWindowDropsEnterAndEscapeOnly) {
    CMainDlg dlg;
    const struct {
        UINT message;
        WPARAM key;
        BOOL dropped;
    } cases[] = {
        {WM_KEYDOWN, VK_RETURN, TRUE},  {WM_KEYUP, VK_ESCAPE, TRUE},    {WM_CHAR, VK_RETURN, TRUE},
        {WM_SYSKEYDOWN, VK_RETURN, TRUE}, {WM_KEYDOWN, 'A', FALSE},      {WM_KEYDOWN, VK_TAB, FALSE},
        {WM_LBUTTONDOWN, VK_RETURN, FALSE}, {WM_COMMAND, VK_ESCAPE, FALSE},
    };
    for (const auto& c : cases) {
        MSG msg{};
        msg.message = c.message;
        msg.wParam = c.key;
        EXPECT_EQ(c.dropped, dlg.PreTranslateMessage(&msg)) << std::hex << c.message << " " << c.key;
    }
}

}  // namespace
