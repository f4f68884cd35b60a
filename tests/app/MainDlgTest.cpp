// The start-up window driven directly: its loading reports and finishing
// ticks are sent by the test, and the decision is recorded instead of opened.
#include "app/MainDlg.h"

#include "app/AppMessages.h"
#include "config/DownloaderConfig.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class RecordingMainDlg : public CMainDlg {
public:
    std::vector<std::wstring> opened;
    // Whether the start-up window was still up when each was opened.
    std::vector<bool> startupWindowUp;

protected:
    void StartLoading() override {}
    void OpenDownloadPage(const std::wstring& title, const std::wstring&) override { Record(L"page " + title); }
    void OpenOutdatedPrompt(const std::wstring& title) override { Record(L"outdated " + title); }
    void OpenFailurePrompt(const std::wstring& title) override { Record(L"failure " + title); }

private:
    void Record(const std::wstring& what) {
        opened.push_back(what);
        startupWindowUp.push_back(IsWindow() && ::IsWindowVisible(m_hWnd));
    }
};

class MainDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dlg.Create(nullptr, RECT{0, 0, 400, 200}, L"", WS_POPUP));
    }
    int Tick() { return static_cast<int>(dlg.SendMessage(WM_TIMER, CMainDlg::IDT_INIT_FINISH, 0)); }
    RecordingMainDlg dlg;
};

TEST_F(MainDlgTest, CreationSizesAndShapesTheWindow) {
    RECT rc;
    dlg.GetWindowRect(&rc);
    EXPECT_EQ(404, rc.right - rc.left);
    EXPECT_EQ(201, rc.bottom - rc.top);
    HRGN region = ::CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(ERROR, ::GetWindowRgn(dlg, region));
    EXPECT_FALSE(::PtInRegion(region, 1, 1));      // corner cut
    EXPECT_TRUE(::PtInRegion(region, 200, 100));
    ::DeleteObject(region);
    // Only the close button is a client area; the rest drags the window.
    POINT close = {375, 22};
    ::ClientToScreen(dlg, &close);
    EXPECT_EQ(HTCLIENT, dlg.SendMessage(WM_NCHITTEST, 0, MAKELPARAM(close.x, close.y)));
    POINT body = {100, 150};
    ::ClientToScreen(dlg, &body);
    EXPECT_EQ(HTCAPTION, dlg.SendMessage(WM_NCHITTEST, 0, MAKELPARAM(body.x, body.y)));
}

TEST_F(MainDlgTest, AFastLoadStillAnimatesToNinetyEightBeforeDeciding) {
    dlg.SendMessage(WM_CONFIG_INIT, 40, LOAD_REPORT_PROGRESS);
    EXPECT_EQ(40, dlg.GetPosition());
    dlg.SendMessage(WM_CONFIG_INIT, CONFIG_DOWNLOAD_FAILED, LOAD_REPORT_FINISHED);
    EXPECT_EQ(CONFIG_DOWNLOAD_FAILED, dlg.GetLoadResult());
    int ticks = 0;
    while (dlg.opened.empty() && ticks < 100) {
        EXPECT_TRUE(dlg.IsWindow());
        Tick();
        ++ticks;
    }
    EXPECT_EQ(30, ticks);  // 29 steps of 2 from 40 to 98, then the decision
    EXPECT_EQ(98, dlg.GetPosition());
    ASSERT_EQ(1u, dlg.opened.size());  // exactly one outcome
    EXPECT_EQ(0u, dlg.opened[0].find(L"failure Vorla游戏下载器-"));
    EXPECT_FALSE(dlg.IsWindow());
}

TEST_F(MainDlgTest, IncompleteConfigurationFailsEvenWhenReady) {
    // This test program's configuration holds nothing: size 0, no link.
    dlg.SendMessage(WM_CONFIG_INIT, CONFIG_READY, LOAD_REPORT_FINISHED);
    EXPECT_EQ(StartupOutcome::Failure, dlg.Decide());
    for (int i = 0; i < 60 && dlg.opened.empty(); ++i) Tick();
    ASSERT_EQ(1u, dlg.opened.size());
    EXPECT_EQ(0u, dlg.opened[0].find(L"failure "));
}

TEST_F(MainDlgTest, TheNextWindowOpensBeforeTheStartupWindowGoes) {
    // One step hands over: nothing in between may leave the screen empty.
    dlg.ShowWindow(SW_SHOWNA);
    dlg.SendMessage(WM_CONFIG_INIT, 98, LOAD_REPORT_PROGRESS);
    dlg.SendMessage(WM_CONFIG_INIT, CONFIG_DOWNLOAD_FAILED, LOAD_REPORT_FINISHED);
    Tick();
    ASSERT_EQ(1u, dlg.opened.size());
    EXPECT_TRUE(dlg.startupWindowUp[0]);
    EXPECT_FALSE(dlg.IsWindow());
}

TEST_F(MainDlgTest, OtherTimersAndCommandsAreConsumedQuietly) {
    EXPECT_EQ(1, dlg.SendMessage(WM_TIMER, 54321, 0));
    dlg.SendMessage(WM_COMMAND, 7, 0);
    EXPECT_TRUE(dlg.IsWindow());
    EXPECT_TRUE(dlg.opened.empty());
}

}  // namespace
