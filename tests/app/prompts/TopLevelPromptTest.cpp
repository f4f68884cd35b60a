// The prompts that replace the start-up window stand alone on the program's
// main loop: what ends the program and what keeps it running.
#include "app/PromptDialogs.h"
#include "tests/app/prompts/PromptTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class RecordingOlderVersionDlg : public COlderVersionDlg {
public:
    std::vector<std::wstring> opened;
    bool OpenWithTheShell(const std::wstring& url) { return COlderVersionDlg::OpenLink(url); }

protected:
    bool OpenLink(const std::wstring& url) override {
        opened.push_back(url);
        return true;
    }
};

class CountingRetry : public IStartupRetry {
public:
    void RetryStartup() override { ++calls; }
    int calls = 0;
};

constexpr wchar_t kLink[] = L"http://127.0.0.1:17223/downloader.html";

TEST(OutdatedPrompt, ButtonOpensTheLinkThenEndsTheProgram) {
    RecordingOlderVersionDlg prompt;
    prompt.SetLink(kLink);
    ASSERT_NE(nullptr, CreateShown(prompt, nullptr));
    ClickAt(prompt, 222 + 39, 158 + 15);
    ASSERT_EQ(1u, prompt.opened.size());
    EXPECT_EQ(kLink, prompt.opened[0]);
    EXPECT_EQ(CPromptDlg::kResultAction, prompt.GetResult());
    EXPECT_FALSE(prompt.IsWindow());
    int code = -1;
    EXPECT_TRUE(TakeQuitMessage(&code));
    EXPECT_EQ(0, code);
}

TEST(OutdatedPrompt, CloseGlyphEndsTheProgramWithoutOpeningTheLink) {
    RecordingOlderVersionDlg prompt;
    prompt.SetLink(kLink);
    ASSERT_NE(nullptr, CreateShown(prompt, nullptr));
    ClickAt(prompt, 369 + 5, 16 + 5);
    EXPECT_TRUE(prompt.opened.empty());
    EXPECT_EQ(CPromptDlg::kResultCloseGlyph, prompt.GetResult());
    EXPECT_TRUE(TakeQuitMessage());
}

TEST(OutdatedPrompt, ClosingTheWindowEndsTheProgram) {
    RecordingOlderVersionDlg prompt;
    ASSERT_NE(nullptr, CreateShown(prompt, nullptr));
    prompt.SendMessage(WM_CLOSE);
    EXPECT_FALSE(prompt.IsWindow());
    EXPECT_EQ(CPromptDlg::kResultOther, prompt.GetResult());
    EXPECT_TRUE(TakeQuitMessage());
}

TEST(OutdatedPrompt, OnlyWebAddressesReachTheShell) {
    RecordingOlderVersionDlg prompt;
    for (const wchar_t* url : {L"", L"C:\\Windows\\notepad.exe", L"file:///C:/Windows/notepad.exe",
                               L"\\\\server\\share\\setup.exe", L"javascript:alert(1)", L"http://", L" http://x"}) {
        EXPECT_FALSE(prompt.OpenWithTheShell(url)) << testing::PrintToString(std::wstring(url));
    }
}

TEST(StartupFailurePrompt, RetryCallsTheHookAndKeepsTheProgramRunning) {
    CInitialFailedDlg prompt;
    CountingRetry retry;
    prompt.SetRetry(&retry);
    ASSERT_NE(nullptr, CreateShown(prompt, nullptr));
    ClickAt(prompt, 222 + 39, 158 + 15);
    EXPECT_EQ(1, retry.calls);
    EXPECT_EQ(CPromptDlg::kResultAction, prompt.GetResult());
    EXPECT_FALSE(prompt.IsWindow());
    EXPECT_FALSE(TakeQuitMessage());
}

TEST(StartupFailurePrompt, OtherButtonsAndClosingEndTheProgram) {
    for (int id : {CPromptDlg::ID_CLOSE, CPromptDlg::ID_DISMISS}) {
        CInitialFailedDlg prompt;
        CountingRetry retry;
        prompt.SetRetry(&retry);
        ASSERT_NE(nullptr, prompt.CreatePrompt(nullptr, WS_POPUP));
        prompt.SendMessage(WM_COMMAND, static_cast<WPARAM>(id), 0);
        EXPECT_EQ(0, retry.calls) << id;
        EXPECT_EQ(id - CPromptDlg::ID_CLOSE, prompt.GetResult()) << id;
        EXPECT_TRUE(TakeQuitMessage()) << id;
    }
    CInitialFailedDlg closed;
    ASSERT_NE(nullptr, closed.CreatePrompt(nullptr, WS_POPUP));
    closed.SendMessage(WM_CLOSE);
    EXPECT_FALSE(closed.IsWindow());
    EXPECT_TRUE(TakeQuitMessage());
}

TEST(StartupFailurePrompt, RetryWithoutAHookOnlyCloses) {
    // Nothing would start again: the program must not linger without a window.
    CInitialFailedDlg prompt;
    ASSERT_NE(nullptr, prompt.CreatePrompt(nullptr, WS_POPUP));
    prompt.SendMessage(WM_COMMAND, CPromptDlg::ID_ACTION, 0);
    EXPECT_FALSE(prompt.IsWindow());
    EXPECT_EQ(CPromptDlg::kResultAction, prompt.GetResult());
    EXPECT_TRUE(TakeQuitMessage());
}

TEST(TopLevelPrompt, OtherPromptsClosedByTheWindowManagerDoNotEndTheProgram) {
    CFileDamagedDlg prompt;
    ASSERT_NE(nullptr, prompt.CreatePrompt(nullptr, WS_POPUP));
    prompt.SendMessage(WM_CLOSE);
    EXPECT_FALSE(prompt.IsWindow());
    EXPECT_EQ(CPromptDlg::kResultOther, prompt.GetResult());
    EXPECT_FALSE(TakeQuitMessage());
}

}  // namespace
