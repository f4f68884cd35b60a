// Prompts run modally over a page: the nested loop ends with the prompt
// however it is closed, consumes what it owns and passes on what it does not.
#include "app/DirErrPrompt.h"
#include "app/PromptDialogs.h"
#include "tests/app/prompts/PromptTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <utility>

namespace {

TEST(RunModal, DismissReturnsOneAndEnablesTheOwnerAgain) {
    OwnerWindow owner;
    CFileDamagedDlg prompt;
    bool ownerWasDisabled = false;
    bool promptVisible = false;
    owner.PostStep([&] {
        ownerWasDisabled = !::IsWindowEnabled(owner);
        promptVisible = ::IsWindowVisible(prompt) != FALSE;
        prompt.SendMessage(WM_COMMAND, CPromptDlg::ID_DISMISS, 0);
    });
    EXPECT_EQ(CPromptDlg::kResultDismiss, prompt.RunModal(owner));
    EXPECT_TRUE(ownerWasDisabled);
    EXPECT_TRUE(promptVisible);
    EXPECT_TRUE(::IsWindowEnabled(owner));
    EXPECT_FALSE(prompt.IsWindow());
    EXPECT_FALSE(TakeQuitMessage()) << "the prompt's own quit must not reach the main loop";
}

TEST(RunModal, AltF4ClosingReturnsFourAndDoesNotLeaveTheOwnerDisabled) {
    OwnerWindow owner;
    CInstallGameDlg prompt(L"示例游戏");
    owner.PostStep([&] { prompt.SendMessage(WM_CLOSE); });
    ASSERT_NE(nullptr, CreateShown(prompt, owner));
    EXPECT_EQ(CPromptDlg::kResultOther, prompt.RunModal(owner));
    EXPECT_TRUE(::IsWindowEnabled(owner));
    EXPECT_FALSE(TakeQuitMessage());
}

TEST(RunModal, ModalOuterPromptsWithTheirOwnCloseRuleStillEndOnlyTheirLoop) {
    // The outdated prompt posts the quit on WM_CLOSE when it stands alone;
    // inside RunModal it must not.
    OwnerWindow owner;
    COlderVersionDlg prompt;
    owner.PostStep([&] { prompt.SendMessage(WM_CLOSE); });
    ASSERT_NE(nullptr, CreateShown(prompt, owner));
    EXPECT_EQ(CPromptDlg::kResultOther, prompt.RunModal(owner));
    EXPECT_FALSE(TakeQuitMessage());
}

TEST(RunModal, OwnerTimersKeepFiringWhileThePromptIsOpen) {
    OwnerWindow owner;
    CDownLoadFailedDlg prompt;
    int ticks = 0;
    owner.onTimer = [&](UINT_PTR id) {
        if (id != 0) return;
        if (++ticks == 3) {
            owner.KillTimer(0);
            prompt.SendMessage(WM_COMMAND, CPromptDlg::ID_ACTION, 0);
        }
    };
    owner.SetTimer(0, 10);
    ASSERT_NE(nullptr, CreateShown(prompt, owner));
    EXPECT_EQ(CPromptDlg::kResultAction, prompt.RunModal(owner));
    EXPECT_EQ(3, ticks);
}

TEST(RunModal, SomeoneElsesQuitEndsTheLoopAndIsPassedOn) {
    OwnerWindow owner;
    CFileDamagedDlg prompt;
    owner.PostStep([] { ::PostQuitMessage(7); });
    ASSERT_NE(nullptr, CreateShown(prompt, owner));
    EXPECT_EQ(CPromptDlg::kResultOther, prompt.RunModal(owner));
    EXPECT_FALSE(prompt.IsWindow());
    EXPECT_TRUE(::IsWindowEnabled(owner));
    int code = 0;
    EXPECT_TRUE(TakeQuitMessage(&code));
    EXPECT_EQ(7, code);
}

TEST(RunModal, OwnerDisabledBeforehandStaysDisabled) {
    OwnerWindow owner;
    ::EnableWindow(owner, FALSE);
    CFileDamagedDlg prompt;
    owner.PostStep([&] { prompt.SendMessage(WM_COMMAND, CPromptDlg::ID_DISMISS, 0); });
    ASSERT_NE(nullptr, CreateShown(prompt, owner));
    EXPECT_EQ(CPromptDlg::kResultDismiss, prompt.RunModal(owner));
    EXPECT_FALSE(::IsWindowEnabled(owner));
}

TEST(RunModal, UsesAPromptTheCallerCreatedAndPlaced) {
    OwnerWindow owner;
    CInstallGameDlg prompt(L"示例游戏");
    ASSERT_NE(nullptr, prompt.CreatePrompt(owner, WS_POPUP));
    ::SetWindowPos(prompt, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    const HWND created = prompt;
    HWND seen = nullptr;
    owner.PostStep([&] {
        seen = prompt;
        prompt.SendMessage(WM_COMMAND, CPromptDlg::ID_ACTION, 0);
    });
    EXPECT_EQ(CPromptDlg::kResultAction, prompt.RunModal(owner));
    EXPECT_EQ(created, seen);
}

TEST(RunModal, PromptClosedFromAnotherThreadsSendEndsTheLoop) {
    // GetMessage serves another thread's SendMessage without returning; the
    // loop must still notice that the prompt is gone.
    OwnerWindow owner;
    CDirErrDlg prompt(L"磁盘空间不足");
    const DWORD uiThread = ::GetCurrentThreadId();
    HANDLE finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> rescued{false};
    std::thread sender;
    owner.PostStep([&] {
        const HWND target = prompt;
        sender = std::thread([&, target] {
            ::SendMessageW(target, WM_CLOSE, 0, 0);
            // A watchdog only: when the loop missed the end, wake it so the
            // test fails instead of hanging.
            if (::WaitForSingleObject(finished, 20000) == WAIT_TIMEOUT) {
                rescued = true;
                ::PostThreadMessageW(uiThread, WM_NULL, 0, 0);
            }
        });
    });
    ASSERT_NE(nullptr, CreateShown(prompt, owner));
    EXPECT_EQ(CPromptDlg::kResultOther, prompt.RunModal(owner));
    ::SetEvent(finished);
    sender.join();
    ::CloseHandle(finished);
    EXPECT_FALSE(rescued);
    TakePosted(nullptr, WM_NULL, WM_NULL);
}

// context: the owner and the window found.
BOOL CALLBACK FindOwnedVisible(HWND hwnd, LPARAM context) {
    auto* search = reinterpret_cast<std::pair<HWND, HWND>*>(context);
    if (::GetWindow(hwnd, GW_OWNER) != search->first || !::IsWindowVisible(hwnd)) return TRUE;
    search->second = hwnd;
    return FALSE;
}

// The save-location seam: the folder-error prompt with the check's message.
TEST(DirErrPrompt, ShowsTheMessageModallyAndReturnsTheAnswer) {
    OwnerWindow owner;
    CDirErrPrompt seam;
    std::wstring shownText;
    owner.PostStep([&] {
        // The prompt is the visible window owned by the page.
        std::pair<HWND, HWND> search{owner, nullptr};
        ::EnumThreadWindows(::GetCurrentThreadId(), &FindOwnedVisible, reinterpret_cast<LPARAM>(&search));
        auto* window = search.second
                           ? reinterpret_cast<CWindowImplBase*>(::GetWindowLongPtrW(search.second, GWLP_USERDATA))
                           : nullptr;
        auto* prompt = dynamic_cast<CDirErrDlg*>(window);
        if (!prompt) {
            ADD_FAILURE() << "no folder-error prompt over the page";
            ::PostQuitMessage(0);  // ends the nested loop
            return;
        }
        shownText = prompt->GetText();
        prompt->SendMessage(WM_COMMAND, CPromptDlg::ID_ACTION, 0);
    });
    EXPECT_EQ(+CSaveLocation::kChangeFolderAnswer, seam.Show(owner, L"磁盘空间不足，请更换目录"));
    EXPECT_EQ(L"磁盘空间不足，请更换目录", shownText);
    EXPECT_TRUE(::IsWindowEnabled(owner));
    EXPECT_FALSE(TakeQuitMessage());
}

}  // namespace
