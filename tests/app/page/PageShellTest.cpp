// The download page and the shell around it: the notification icon and its
// menu, the taskbar button's progress, and an exit chosen while modal
// windows run over the page.
#include "tests/app/page/PageTestSupport.h"

#include "app/AppMessages.h"
#include "app/PagePrompts.h"
#include "tests/support/TestSupport.h"

#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <thread>

using namespace testing_support;

namespace {

UINT Registered(const wchar_t* name) { return ::RegisterWindowMessageW(name); }

// Messages waiting for window, taken from the queue.
std::vector<UINT> TakeQueued(HWND window) {
    std::vector<UINT> messages;
    MSG msg;
    while (::PeekMessageW(&msg, window, 0, 0, PM_REMOVE)) messages.push_back(msg.message);
    return messages;
}

bool Contains(const std::vector<UINT>& messages, UINT message) {
    return std::find(messages.begin(), messages.end(), message) != messages.end();
}

struct OwnedSearch {
    HWND page;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectOwned(HWND window, LPARAM lp) {
    auto* search = reinterpret_cast<OwnedSearch*>(lp);
    if (::GetWindow(window, GW_OWNER) == search->page) search->found.push_back(window);
    return TRUE;
}

// Windows of this thread that the page owns, visible or not.
std::vector<HWND> OwnedBy(HWND page) {
    OwnedSearch search{page, {}};
    ::EnumThreadWindows(::GetCurrentThreadId(), CollectOwned, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Ends, after a while, whatever the page still has open over it, so that a
// page that does not close its modal windows fails the test instead of
// hanging it. The wait is generous: showing each prompt can take Wine on a
// bare X display about two seconds.
class Rescue {
public:
    explicit Rescue(HWND page, UINT afterMs = 30000) {
        page_ = page;
        fired_ = false;
        timer_ = ::SetTimer(nullptr, 0, afterMs, &Rescue::Fire);
    }
    ~Rescue() { ::KillTimer(nullptr, timer_); }
    bool Fired() const { return fired_; }

private:
    static void CALLBACK Fire(HWND, UINT, UINT_PTR, DWORD) {
        fired_ = true;
        for (HWND window : OwnedBy(page_)) {
            wchar_t name[16] = {};
            ::GetClassNameW(window, name, 16);
            if (std::wstring(name) == L"#32770") {
                ::EndDialog(window, IDABORT);
            } else {
                ::DestroyWindow(window);
            }
        }
    }
    static HWND page_;
    static bool fired_;
    UINT_PTR timer_ = 0;
};
HWND Rescue::page_ = nullptr;
bool Rescue::fired_ = false;

// A real modal dialog owned by the page stands for the folder dialog. When
// it opens it asks the page to end the program; it ends only on cancel.
class ModalFolderDialog : public CSaveLocation::IFolderDialog {
public:
    bool Browse(HWND owner, std::wstring&) override {
        // A dialog template with no controls: its cancel comes from WM_CLOSE
        // or IDCANCEL only.
        struct alignas(4) Template {
            DLGTEMPLATE dialog;
            WORD menu, windowClass, title;
        } layout{};
        layout.dialog.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
        layout.dialog.cx = 120;
        layout.dialog.cy = 60;
        opened = true;
        result = ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), &layout.dialog, owner, &Proc,
                                           reinterpret_cast<LPARAM>(owner));
        return false;
    }
    bool opened = false;
    INT_PTR result = 0;

private:
    static INT_PTR CALLBACK Proc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_INITDIALOG) {
            ::PostMessageW(reinterpret_cast<HWND>(lp), WM_COMMAND, ID_EXIT_DOWNLOADER, 0);
            return TRUE;
        }
        if (msg == WM_COMMAND && LOWORD(wp) == IDCANCEL) {
            ::EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    }
};

}  // namespace

class PageShellTest : public PageTest {};

TEST_F(PageShellTest, CloseHidesThePageOnlyWhenTheIconWasAdded) {
    trayAccepts_ = false;
    OpenPage();
    Page().ShowWindow(SW_SHOW);
    Page().SendMessage(WM_CLOSE, 0, 0);
    ASSERT_EQ(std::vector<DWORD>{NIM_ADD}, trayCalls_);
    EXPECT_FALSE(Page().HasTrayIcon());
    EXPECT_TRUE(::IsWindowVisible(Page().m_hWnd)) << "without an icon the page could not be found again";
    EXPECT_TRUE(::IsIconic(Page().m_hWnd)) << "minimised to the taskbar instead";

    trayAccepts_ = true;
    Page().SendMessage(WM_CLOSE, 0, 0);
    EXPECT_TRUE(Page().HasTrayIcon());
    EXPECT_FALSE(::IsWindowVisible(Page().m_hWnd));
}

TEST_F(PageShellTest, TheIconsMenuIsFollowedByANullMessageSoItCloses) {
    OpenPage();
    Page().SendMessage(WM_CLOSE, 0, 0);
    TakeQueued(Page().m_hWnd);
    Page().SendMessage(CDLDlg::WM_TRAYICON, CDLDlg::kTrayIconId, WM_RBUTTONUP);
    EXPECT_EQ(1, menus_);
    EXPECT_TRUE(Contains(TakeQueued(Page().m_hWnd), WM_NULL));
    Page().SendMessage(CDLDlg::WM_TRAYICON, CDLDlg::kTrayIconId + 1, WM_RBUTTONUP);
    EXPECT_EQ(1, menus_) << "another icon's message";
}

TEST_F(PageShellTest, TheIconComesBackWhenTheNotificationAreaIsRebuilt) {
    OpenPage();
    Page().SendMessage(Registered(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(trayCalls_.empty()) << "a page that never went there adds no icon";

    Page().SendMessage(WM_CLOSE, 0, 0);
    ASSERT_TRUE(Page().HasTrayIcon());
    trayCalls_.clear();
    Page().SendMessage(Registered(L"TaskbarCreated"), 0, 0);
    ASSERT_FALSE(trayCalls_.empty());
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), trayCalls_[0]);
    EXPECT_TRUE(Page().HasTrayIcon());
    EXPECT_FALSE(::IsWindowVisible(Page().m_hWnd));

    // When the icon cannot come back, the hidden page comes back instead.
    trayAccepts_ = false;
    Page().SendMessage(Registered(L"TaskbarCreated"), 0, 0);
    EXPECT_FALSE(Page().HasTrayIcon());
    EXPECT_TRUE(::IsWindowVisible(Page().m_hWnd));
}

TEST_F(PageShellTest, TheTaskbarButtonFollowsTheDownload) {
    OpenPage();
    Page().SetCompanionChoice(false);
    EXPECT_TRUE(taskbar_.calls.empty()) << "nothing before the shell made the button";
    Page().SendMessage(Registered(L"TaskbarButtonCreated"), 0, 0);
    ASSERT_FALSE(taskbar_.calls.empty());
    EXPECT_EQ("attach", taskbar_.calls[0]);
    EXPECT_EQ("none", taskbar_.Last());

    StartInFolder();
    Game()->info.totalBytes = 1000;
    Game()->info.completedBytes = 400;
    Game()->info.serverSpeed = 1000;
    Polls(1);
    EXPECT_EQ("normal 40", taskbar_.Last());
    Command(CDLDlg::ID_PAUSE);
    EXPECT_EQ("paused 40", taskbar_.Last());
    ASSERT_TRUE(WriteFileBytes(folder_ + kGameFile + L".P2P", "part"));
    Command(CDLDlg::ID_CONTINUE);
    EXPECT_EQ("normal 40", taskbar_.Last());

    Game()->info.state = P2SP_STATE_SOURCE_FAILED;
    Polls(1);  // the silent retry
    EXPECT_EQ("normal 40", taskbar_.Last());
    Game()->info.state = P2SP_STATE_SOURCE_FAILED;
    std::string duringPrompt;
    prompts_.during["failed"] = [&] { duringPrompt = taskbar_.Last(); };
    Polls(1);
    EXPECT_EQ("error 40", duringPrompt);
    EXPECT_EQ("error 40", taskbar_.Last()) << "the failure stays shown while the page waits";

    Command(CDLDlg::ID_CONTINUE);
    WriteInstaller(1000);
    Game()->info.state = P2SP_STATE_FINISHED;
    Polls(1);
    EXPECT_EQ(CDLDlg::Face::Install, Page().CurrentFace());
    EXPECT_EQ("none", taskbar_.Last());

    Command(ID_EXIT_DOWNLOADER);
    EXPECT_EQ("detach", taskbar_.calls.back()) << "let go while COM still runs";
}

TEST_F(PageShellTest, WithoutTheShellsTaskbarObjectNothingMoreIsAsked) {
    taskbar_.available = false;
    OpenPage();
    Page().SetCompanionChoice(false);
    Page().SendMessage(Registered(L"TaskbarButtonCreated"), 0, 0);
    StartInFolder();
    Game()->info.completedBytes = 400;
    Polls(1);
    Command(CDLDlg::ID_PAUSE);
    EXPECT_EQ(std::vector<std::string>{"attach"}, taskbar_.calls);
}

TEST(PageTaskbar, ThePlatformTaskbarIsHarmlessWhereverTheShellLacksIt) {
    // Without COM on the thread creating the object fails: nothing is shown.
    std::unique_ptr<IPageTaskbar> taskbar = CreatePlatformTaskbar();
    bool withoutCom = true;
    std::thread([&] { withoutCom = taskbar->Attach(nullptr); }).join();
    EXPECT_FALSE(withoutCom);

    // With COM, whatever this system offers: every state, then let go.
    const bool comHere = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    HWND window = ::CreateWindowExW(0, L"STATIC", L"taskbar", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                    nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    const bool attached = taskbar->Attach(window);
    for (TaskbarProgress state :
         {TaskbarProgress::Normal, TaskbarProgress::Paused, TaskbarProgress::Error, TaskbarProgress::None}) {
        taskbar->Show(window, state, 40);
    }
    taskbar->Detach();
    taskbar->Show(window, TaskbarProgress::Normal, 50);  // after letting go: nothing
    ::DestroyWindow(window);
    if (comHere) ::CoUninitialize();
    std::printf("taskbar progress on this system: %s\n", attached ? "available" : "absent");
}

TEST_F(PageShellTest, ExitClosesEveryNestedPromptAndEndsTheProgram) {
    // A partial download whose file went missing: each continue raises the
    // real file-damaged prompt, the second inside the first one's loop.
    CStateFile state(statePath_);
    state.Create();
    state.SetDir(folder_);
    state.SetDlKD(false);
    ASSERT_TRUE(WriteFileBytes(folder_ + kGameFile + L".P2P", "part"));
    CPagePrompts realPrompts;
    OpenPage([&](PageServices& services) { services.prompts = &realPrompts; });
    ASSERT_EQ(CDLDlg::Face::Continue, Page().CurrentFace());
    ::DeleteFileW((folder_ + kGameFile + L".P2P").c_str());

    const HWND page = Page().m_hWnd;
    Rescue rescue(page);
    ::PostMessageW(page, WM_COMMAND, CDLDlg::ID_CONTINUE, 0);
    ::PostMessageW(page, WM_COMMAND, CDLDlg::ID_CONTINUE, 0);
    ::PostMessageW(page, WM_COMMAND, ID_EXIT_DOWNLOADER, 0);
    MSG msg;
    while (::IsWindow(page) && !rescue.Fired() && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    EXPECT_FALSE(rescue.Fired()) << "a prompt stayed open after the exit";
    EXPECT_FALSE(::IsWindow(page));
    EXPECT_TRUE(OwnedBy(page).empty());
    ASSERT_FALSE(engine().calls.empty());
    EXPECT_EQ("Uninit", engine().calls.back());
}

TEST_F(PageShellTest, ExitEndsTheFolderDialogAndTheProgram) {
    ModalFolderDialog folderDialog;
    OpenPage([&](PageServices& services) { services.folderDialog = &folderDialog; });
    const HWND page = Page().m_hWnd;

    Rescue rescue(page);
    Command(CDLDlg::ID_CHANGE_FOLDER);  // returns once the dialog has ended
    EXPECT_TRUE(folderDialog.opened);
    EXPECT_FALSE(rescue.Fired()) << "the folder dialog stayed open after the exit";
    EXPECT_EQ(IDCANCEL, folderDialog.result) << "ended as its cancel button ends it";
    EXPECT_FALSE(::IsWindow(page)) << "the program ended once the dialog was gone";
    ASSERT_FALSE(engine().calls.empty());
    EXPECT_EQ("Uninit", engine().calls.back());
}
