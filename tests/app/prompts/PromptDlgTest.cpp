// The prompt window itself: its shape, where its elements are, which answer
// each click gives, and dragging by the body.
#include "app/PromptDialogs.h"
#include "tests/app/prompts/PromptTestSupport.h"

#include "config/DownloaderConfig.h"
#include "ui/SomSkin.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

const CSomWnd* ElementWithId(const CPromptDlg& prompt, int id) {
    for (const CSomWnd* element : prompt.GetElements()) {
        if (element->GetId() == id) return element;
    }
    return nullptr;
}

POINT CentreOf(const CSomWnd* element) {
    const RECT& r = element->GetRect();
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

TEST(PromptWindow, IsA404By201PopupCentredOnItsOwner) {
    OwnerWindow owner;
    owner.ShowWindow(SW_SHOWNA);
    CFileDamagedDlg prompt;
    ASSERT_NE(nullptr, prompt.CreatePrompt(owner, WS_POPUP));
    RECT rect{};
    prompt.GetWindowRect(&rect);
    RECT ownerRect{};
    owner.GetWindowRect(&ownerRect);
    EXPECT_EQ(404, rect.right - rect.left);
    EXPECT_EQ(201, rect.bottom - rect.top);
    EXPECT_EQ((ownerRect.left + ownerRect.right) / 2 - 202, rect.left);
    EXPECT_EQ((ownerRect.top + ownerRect.bottom) / 2 - 100, rect.top);
    EXPECT_EQ(static_cast<HWND>(owner), ::GetWindow(prompt, GW_OWNER));
    const LONG_PTR style = ::GetWindowLongPtrW(prompt, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & (WS_CAPTION | WS_THICKFRAME));
    EXPECT_EQ(0, ::GetWindowLongPtrW(prompt, GWL_EXSTYLE) & ~WS_EX_LEFT);
    EXPECT_EQ(CPromptDlg::kResultOther, prompt.GetResult());
}

TEST(PromptWindow, WithoutOwnerIsCentredOnTheScreen) {
    CDirOpenFailedDlg prompt;
    ASSERT_NE(nullptr, prompt.CreatePrompt(nullptr, WS_POPUP));
    RECT rect{};
    prompt.GetWindowRect(&rect);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    ::GetMonitorInfoW(::MonitorFromWindow(prompt, MONITOR_DEFAULTTONEAREST), &info);
    EXPECT_EQ((info.rcWork.left + info.rcWork.right) / 2 - 202, rect.left);
    EXPECT_EQ((info.rcWork.top + info.rcWork.bottom) / 2 - 100, rect.top);
}

TEST(PromptWindow, CornersAreCutByNinePixels) {
    CDirErrDlg prompt(L"x");
    ASSERT_NE(nullptr, prompt.CreatePrompt(nullptr, WS_POPUP));
    ScopedRegion region(::CreateRectRgn(0, 0, 0, 0));
    ASSERT_EQ(COMPLEXREGION, ::GetWindowRgn(prompt, region.get()));
    const POINT outside[] = {{0, 0}, {4, 4}, {400, 1}, {403, 197}, {1, 199}};
    for (const POINT& pt : outside) EXPECT_FALSE(::PtInRegion(region.get(), pt.x, pt.y)) << pt.x << "," << pt.y;
    const POINT inside[] = {{10, 10}, {200, 1}, {200, 199}, {1, 100}, {402, 100}, {395, 190}};
    for (const POINT& pt : inside) EXPECT_TRUE(::PtInRegion(region.get(), pt.x, pt.y)) << pt.x << "," << pt.y;
}

TEST(PromptWindow, ElementsSitWhereTheDesignPutsThem) {
    CFileCheckFailedDlg prompt;
    ASSERT_NE(nullptr, prompt.CreatePrompt(nullptr, WS_POPUP));
    struct Place {
        int id;
        int x;
        int y;
    } places[] = {{100, 369, 16}, {101, 311, 158}, {1, 42, 18}, {102, 222, 158}, {103, 266, 91}};
    for (const Place& place : places) {
        const CSomWnd* element = ElementWithId(prompt, place.id);
        ASSERT_NE(nullptr, element) << place.id;
        EXPECT_EQ(place.x, element->GetRect().left) << place.id;
        EXPECT_EQ(place.y, element->GetRect().top) << place.id;
        EXPECT_TRUE(element->IsVisible()) << place.id;
    }
    EXPECT_EQ(78, ElementWithId(prompt, 101)->GetWidth());
    EXPECT_EQ(30, ElementWithId(prompt, 102)->GetHeight());
    const auto* title = static_cast<const CSomTextWnd*>(ElementWithId(prompt, 1));
    EXPECT_EQ(L"{&#color=0xffffff}提示", title->GetMarkup());
    EXPECT_EQ(SomSkin.fonts.Get(3), title->GetFont());
    const auto* link = static_cast<const CSomTextWnd*>(ElementWithId(prompt, 103));
    EXPECT_EQ(L"{&#a=button:103}{&#acolor=16678964}点击反馈", link->GetMarkup());
    EXPECT_EQ(SomSkin.fonts.Get(14), link->GetFont());
}

TEST(PromptWindow, FolderOpenFailurePromptHasNoActionButton) {
    CDirOpenFailedDlg prompt;
    ASSERT_NE(nullptr, prompt.CreatePrompt(nullptr, WS_POPUP));
    EXPECT_EQ(nullptr, ElementWithId(prompt, 102));
    EXPECT_NE(nullptr, ElementWithId(prompt, 101));
    // A stray 102 (there is no such button) neither closes nor ends anything.
    prompt.SendMessage(WM_COMMAND, 102, 0);
    EXPECT_TRUE(prompt.IsWindow());
    EXPECT_FALSE(TakeQuitMessage());
}

TEST(PromptWindow, MessagesOfTheFamily) {
    EXPECT_EQ(L"下载文件被破坏，请重新下载!", CFileDamagedDlg().GetText());
    EXPECT_EQ(L"打开目录失败，目录不存在或已损坏！", CDirOpenFailedDlg().GetText());
    EXPECT_EQ(L"文件安全校验失败，更多帮助，请", CFileCheckFailedDlg().GetText());
    EXPECT_EQ(L"安装程序不是来自预期的发行者，为了您的安全，已阻止运行！", CPublisherRefusedDlg().GetText());
    EXPECT_EQ(L"下载失败，更多帮助，请点击反馈按钮", CDownLoadFailedDlg().GetText());
    EXPECT_EQ(L"示例游戏下载完成，是否立即安装？", CInstallGameDlg(L"示例游戏").GetText());
    EXPECT_EQ(TheDownloaderConfig().GetGameName() + L"下载完成，是否立即安装？", CInstallGameDlg().GetText());
    EXPECT_EQ(L"下载器版本过旧，请重新下载！", COlderVersionDlg().GetText());
    EXPECT_EQ(L"下载器初始化失败，请检测您的网络是否连接正常。可以点击重试，尝试再次初始化!",
              CInitialFailedDlg().GetText());
    EXPECT_EQ(L"目录没有写入权限", CDirErrDlg(L"目录没有写入权限").GetText());
}

TEST(PromptWindow, InstallPromptHasItsOwnClassAndName) {
    OwnerWindow owner;
    CInstallGameDlg prompt(L"示例游戏");
    ASSERT_NE(nullptr, prompt.CreatePrompt(owner, WS_POPUP));
    wchar_t name[64] = {};
    ::GetClassNameW(prompt, name, 64);
    EXPECT_STREQ(L"DownLoadFinished", name);
    EXPECT_EQ(L"DownloadFinished", prompt.GetWindowText());
    EXPECT_EQ(static_cast<HWND>(prompt), ::FindWindowW(L"DownLoadFinished", L"DownloadFinished"));
    EXPECT_FALSE(::IsWindowVisible(prompt));  // shown later by its caller
    EXPECT_EQ(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, ::GetClassLongPtrW(prompt, GCL_STYLE));
    // The others share the generated class.
    CFileDamagedDlg other;
    ASSERT_NE(nullptr, other.CreatePrompt(owner, WS_POPUP));
    ::GetClassNameW(other, name, 64);
    EXPECT_STRNE(L"DownLoadFinished", name);
}

struct ClickCase {
    const char* name;
    std::function<std::unique_ptr<CPromptDlg>()> make;
    int id;
    int result;
};

std::vector<ClickCase> ClickCases() {
    auto dirErr = [] { return std::make_unique<CDirErrDlg>(L"磁盘空间不足"); };
    auto damaged = [] { return std::make_unique<CFileDamagedDlg>(); };
    auto openFailed = [] { return std::make_unique<CDirOpenFailedDlg>(); };
    auto checkFailed = [] { return std::make_unique<CFileCheckFailedDlg>(); };
    auto downloadFailed = [] { return std::make_unique<CDownLoadFailedDlg>(); };
    auto install = [] { return std::make_unique<CInstallGameDlg>(L"示例游戏"); };
    return {
        {"dir-err close glyph", dirErr, 100, 0},      {"dir-err dismiss", dirErr, 101, 1},
        {"dir-err change folder", dirErr, 102, 2},    {"damaged close glyph", damaged, 100, 0},
        {"damaged redownload", damaged, 102, 2},      {"open-failed dismiss", openFailed, 101, 1},
        {"open-failed close glyph", openFailed, 100, 0}, {"check-failed continue", checkFailed, 102, 2},
        {"check-failed link", checkFailed, 103, 3},   {"check-failed dismiss", checkFailed, 101, 1},
        {"download-failed feedback", downloadFailed, 102, 2}, {"install now", install, 102, 2},
        {"install dismiss", install, 101, 1},
    };
}

TEST(PromptWindow, EachClickGivesItsResultAndClosesThePrompt) {
    for (const ClickCase& c : ClickCases()) {
        std::unique_ptr<CPromptDlg> prompt = c.make();
        ASSERT_NE(nullptr, CreateShown(*prompt, nullptr)) << c.name;
        const CSomWnd* element = ElementWithId(*prompt, c.id);
        ASSERT_NE(nullptr, element) << c.name;
        const POINT at = CentreOf(element);
        ClickAt(*prompt, at.x, at.y);
        EXPECT_FALSE(prompt->IsWindow()) << c.name;
        EXPECT_EQ(c.result, prompt->GetResult()) << c.name;
        // Standing alone on the main loop, a closing click ends that loop.
        EXPECT_TRUE(TakeQuitMessage()) << c.name;
        TakePosted(nullptr, WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN);
    }
}

TEST(PromptWindow, PressOnTheBodyStartsADragAndStaysWithTheManager) {
    CFileDamagedDlg prompt;
    ASSERT_NE(nullptr, CreateShown(prompt, nullptr));
    EXPECT_EQ(HTCLIENT, prompt.SendMessage(WM_NCHITTEST, 0, MAKELPARAM(500, 400)));
    TakePosted(prompt, WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN);

    prompt.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 60));
    MSG drag{};
    ASSERT_EQ(1, TakePosted(prompt, WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN, &drag));
    EXPECT_EQ(static_cast<WPARAM>(HTCAPTION), drag.wParam);
    POINT screen{200, 60};
    ::ClientToScreen(prompt, &screen);
    EXPECT_EQ(screen.x, static_cast<short>(LOWORD(drag.lParam)));
    EXPECT_EQ(screen.y, static_cast<short>(HIWORD(drag.lParam)));
    prompt.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(200, 60));
    EXPECT_TRUE(prompt.IsWindow());
    // The second press of a double click comes as WM_LBUTTONDBLCLK.
    prompt.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(30, 120));
    EXPECT_EQ(1, TakePosted(prompt, WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN));
    prompt.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(30, 120));
}

TEST(PromptWindow, PressOnAButtonDoesNotDragSoItsReleaseStillClicks) {
    CFileDamagedDlg prompt;
    ASSERT_NE(nullptr, CreateShown(prompt, nullptr));
    const POINT at = CentreOf(ElementWithId(prompt, 101));
    prompt.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
    prompt.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    EXPECT_EQ(0, TakePosted(prompt, WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN));
    // Released away from the button: no click, the prompt stays.
    prompt.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(20, 100));
    prompt.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(20, 100));
    EXPECT_TRUE(prompt.IsWindow());
    EXPECT_EQ(CPromptDlg::kResultOther, prompt.GetResult());
    EXPECT_FALSE(TakeQuitMessage());
}

}  // namespace
