// The element manager: hit order, hover and capture rules, click routing,
// invalidation, geometry and teardown.
#include "tests/ui/UiTestSupport.h"

#include "ui/SomButton4.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Log = std::vector<std::string>;

bool Contains(const Log& log, const std::string& entry) {
    return std::find(log.begin(), log.end(), entry) != log.end();
}

class ManagerTest : public ::testing::Test {
protected:
    Log log;
    TestHost host;
};

TEST_F(ManagerTest, CreateCallsInOrderAndAppends) {
    ProbeElement a(&log, "a");
    a.Create(&host, 10, 20, 30, 40, 7, SOMF_VISIBLE);
    EXPECT_EQ((Log{"a.create", "a.move 10,20", "a.size 30,40"}), log);
    EXPECT_EQ(7, a.GetId());
    EXPECT_EQ(40, a.GetRect().right);
    ASSERT_EQ(1u, host.GetElements().size());
    EXPECT_EQ(&a, host.GetElements()[0]);
    EXPECT_EQ(0, a.draws) << "Create paints nothing";
}

TEST_F(ManagerTest, FirstAddedWinsClicksAndPaintInOverlap) {
    ProbeElement first(&log, "first");
    ProbeElement second(&log, "second");
    first.Create(&host, 0, 0, 50, 50, 1, SOMF_VISIBLE);
    second.Create(&host, 25, 25, 50, 50, 2, SOMF_VISIBLE);
    second.fill = RGB(0, 0, 200);
    log.clear();
    host.Down(30, 30);
    EXPECT_EQ((Log{"first.down 30,30"}), log);
    log.clear();
    host.Down(60, 60);
    EXPECT_EQ((Log{"second.down 35,35"}), log);

    PixelSurface surface(100, 100, RGB(0, 255, 0));
    host.Send(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(surface.dc()), PRF_CLIENT);
    EXPECT_EQ(RGB(200, 0, 0), surface.At(30, 30)) << "the earlier element hides the later one";
    EXPECT_EQ(RGB(0, 0, 200), surface.At(60, 60));
}

TEST_F(ManagerTest, DisabledAndHiddenElementsAreNeverHitAndClicksFallThrough) {
    ProbeElement disabled(&log, "disabled");
    ProbeElement hidden(&log, "hidden");
    disabled.Create(&host, 0, 0, 50, 50, 1, SOMF_VISIBLE | SOMF_DISABLED);
    hidden.Create(&host, 0, 0, 50, 50, 2, 0);
    log.clear();
    host.Down(10, 10);
    EXPECT_FALSE(host.lastHandled);
    host.Move(10, 10);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(nullptr, host.HitTest(POINT{10, 10}));

    // The disabled element is still painted.
    PixelSurface surface(60, 60, RGB(0, 255, 0));
    host.Send(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(surface.dc()), PRF_CLIENT);
    EXPECT_EQ(1, disabled.draws);
    EXPECT_EQ(0, hidden.draws);
}

TEST_F(ManagerTest, ButtonResultDecidesHandledWithoutCapture) {
    ProbeElement declines(&log, "d", 0);
    declines.Create(&host, 0, 0, 50, 50, 1, SOMF_VISIBLE);
    host.Down(5, 5);
    EXPECT_FALSE(host.lastHandled);
    ProbeElement consumes(&log, "c", 1);
    consumes.Create(&host, 60, 0, 50, 50, 2, SOMF_VISIBLE);
    host.Down(65, 5);
    EXPECT_TRUE(host.lastHandled);
}

TEST_F(ManagerTest, RightEdgeAndBottomAreExclusive) {
    ProbeElement a(&log, "a");
    a.Create(&host, 10, 10, 20, 20, 1, SOMF_VISIBLE);
    EXPECT_EQ(&a, host.HitTest(POINT{10, 10}));
    EXPECT_EQ(&a, host.HitTest(POINT{29, 29}));
    EXPECT_EQ(nullptr, host.HitTest(POINT{30, 15}));
    EXPECT_EQ(nullptr, host.HitTest(POINT{15, 30}));
}

TEST_F(ManagerTest, HoverEnterAndLeaveFollowTheHitElement) {
    ProbeElement a(&log, "a");
    ProbeElement b(&log, "b");
    a.Create(&host, 0, 0, 50, 50, 1, SOMF_VISIBLE);
    b.Create(&host, 100, 0, 50, 50, 2, SOMF_VISIBLE);
    log.clear();
    host.Move(10, 10);
    EXPECT_FALSE(host.lastHandled) << "a move over an element is passed on";
    host.Move(12, 10);
    host.Move(110, 10);
    host.Move(300, 10);
    EXPECT_TRUE(host.lastHandled) << "a move over no element is handled";
    EXPECT_EQ((Log{"a.enter", "a.mousemove 10,10", "a.mousemove 12,10", "a.leave", "b.enter",
                   "b.mousemove 10,10", "b.leave"}),
              log);
    EXPECT_EQ(nullptr, host.GetHoverElement());
}

TEST_F(ManagerTest, TimerDropsHoverWhenPointerLeftTheWindow) {
    ProbeElement a(&log, "a");
    a.Create(&host, 0, 0, 50, 50, 1, SOMF_VISIBLE);
    host.Move(10, 10);
    log.clear();
    host.SetPointer(10, 10, true);
    host.Tick();
    EXPECT_EQ(&a, host.GetHoverElement()) << "pointer still over the window";
    host.SetPointer(-5, 10, true);
    host.Tick();
    EXPECT_EQ(nullptr, host.GetHoverElement());
    EXPECT_EQ((Log{"a.timer", "a.leave", "a.timer"}), log);
}

TEST_F(ManagerTest, TimerDropsHoverWhenAChildWindowCoversTheElement) {
    ProbeElement a(&log, "a");
    a.Create(&host, 0, 0, 50, 50, 1, SOMF_VISIBLE);
    host.Move(10, 10);
    host.SetPointer(10, 10, false);  // inside the client area, another window on top
    host.Tick();
    EXPECT_EQ(nullptr, host.GetHoverElement());
    EXPECT_TRUE(Contains(log, "a.leave"));
}

TEST(ManagerOnTheDisplay, TimerDropsHoverUnderARealChildWindow) {
    Log log;
    TestHost host(300, 200, true);
    host.realPointer = true;
    ProbeElement a(&log, "a");
    a.Create(&host, 0, 0, 100, 100, 1, SOMF_VISIBLE);
    RECT origin{};
    ::GetWindowRect(host, &origin);
    ::SetCursorPos(origin.left + 20, origin.top + 20);
    host.Move(20, 20);
    host.Tick();
    ASSERT_EQ(&a, host.GetHoverElement()) << "the pointer is over the host itself";
    // A child window (like the web view) now covers the element.
    // Not a static control: those are transparent to WindowFromPoint.
    HWND child = ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, host, nullptr,
                                   nullptr, nullptr);
    ASSERT_NE(nullptr, child);
    host.Tick();
    EXPECT_EQ(nullptr, host.GetHoverElement());
    ::DestroyWindow(child);
    host.Move(20, 20);
    ::SetCursorPos(origin.right + 50, origin.bottom + 50);  // off the window
    host.Tick();
    EXPECT_EQ(nullptr, host.GetHoverElement());
    EXPECT_EQ(2, static_cast<int>(std::count(log.begin(), log.end(), std::string("a.leave"))));
}

TEST_F(ManagerTest, TimerKeepsHoverWhileAnElementHoldsTheCapture) {
    ProbeElement a(&log, "a");
    a.Create(&host, 0, 0, 50, 50, 1, SOMF_VISIBLE);
    host.Move(10, 10);
    host.CaptureMouse(&a);
    host.SetPointer(-5, -5, false);
    host.Tick();
    EXPECT_EQ(&a, host.GetHoverElement());
    host.ReleaseMouse(&a);
}

TEST_F(ManagerTest, OtherTimersReachTheHostUnchanged) {
    host.Send(WM_TIMER, 7, 0);
    EXPECT_FALSE(host.lastHandled);
    ASSERT_EQ(1u, host.ownTimers.size());
    EXPECT_EQ(7u, host.ownTimers[0]);
    EXPECT_EQ(1, host.Tick());
    EXPECT_TRUE(host.lastHandled);
}

TEST_F(ManagerTest, ReleaseMouseCallsCaptureLostAndClearsBeforeReturning) {
    ProbeElement a(&log, "a");
    a.Create(&host, 0, 0, 50, 50, 1, SOMF_VISIBLE);
    host.CaptureMouse(&a);
    EXPECT_EQ(&a, host.GetCaptureElement());
    log.clear();
    host.ReleaseMouse(&a);
    EXPECT_EQ((Log{"a.captureLost"}), log);
    EXPECT_EQ(nullptr, host.GetCaptureElement());
    // Releasing for an element that does not hold the capture does nothing.
    host.ReleaseMouse(&a);
    EXPECT_EQ(1u, log.size());
}

TEST_F(ManagerTest, CaptureByAnotherElementNotifiesTheFirst) {
    ProbeElement a(&log, "a");
    ProbeElement b(&log, "b");
    a.Create(&host, 0, 0, 50, 50, 1, SOMF_VISIBLE);
    b.Create(&host, 60, 0, 50, 50, 2, SOMF_VISIBLE);
    host.CaptureMouse(&a);
    log.clear();
    host.CaptureMouse(&b);
    EXPECT_EQ((Log{"a.captureLost"}), log);
    log.clear();
    host.CaptureMouse(&b);  // even the same element is told first
    EXPECT_EQ((Log{"b.captureLost"}), log);
    host.ReleaseMouse(&b);
}

TEST_F(ManagerTest, CaptureElementGetsButtonsWhereverThePointerIs) {
    ProbeElement a(&log, "a", 0);
    a.Create(&host, 10, 10, 20, 20, 1, SOMF_VISIBLE);
    host.CaptureMouse(&a);
    log.clear();
    host.Up(200, 100);
    EXPECT_TRUE(host.lastHandled) << "handled even though the element returned 0";
    EXPECT_EQ((Log{"a.up 190,90"}), log);
    host.ReleaseMouse(&a);
}

TEST_F(ManagerTest, CapturedMoveOutAndBackTogglesHover) {
    ProbeElement a(&log, "a");
    a.Create(&host, 0, 0, 50, 50, 1, SOMF_VISIBLE);
    host.Move(10, 10);
    host.CaptureMouse(&a);
    log.clear();
    host.Move(100, 10);
    EXPECT_EQ(nullptr, host.GetHoverElement());
    host.Move(20, 10);
    EXPECT_EQ(&a, host.GetHoverElement());
    EXPECT_EQ((Log{"a.leave", "a.mousemove 100,10", "a.enter", "a.mousemove 20,10"}), log);
    host.ReleaseMouse(&a);
}

TEST_F(ManagerTest, PressDragOutReleaseSendsNothing) {
    CSomButton4 button;
    button.Create(&host, 10, 10, 40, 20, 33, SOMF_VISIBLE);
    host.Move(20, 15);
    host.Down(20, 15);
    EXPECT_TRUE(button.IsPressed());
    host.Move(300, 150);
    EXPECT_FALSE(button.IsHovered());
    host.Up(300, 150);
    EXPECT_FALSE(button.IsPressed());
    EXPECT_TRUE(host.commands.empty());
    EXPECT_EQ(0, button.GetStateIndex());
}

TEST_F(ManagerTest, PressOutBackInReleaseSendsTheCommand) {
    CSomButton4 button;
    button.Create(&host, 10, 10, 40, 20, 33, SOMF_VISIBLE);
    host.Move(20, 15);
    host.Down(20, 15);
    host.Move(300, 150);
    host.Move(25, 15);
    host.Up(25, 15);
    ASSERT_EQ(1u, host.commands.size());
    EXPECT_EQ(33, host.commands[0].id);
    EXPECT_EQ(0, host.commands[0].code);
    EXPECT_EQ(&button, host.commands[0].element);
    EXPECT_EQ(nullptr, host.GetCaptureElement());
}

TEST_F(ManagerTest, RemoveElementClearsHoverAndCapture) {
    ProbeElement a(&log, "a");
    a.Create(&host, 0, 0, 50, 50, 1, SOMF_VISIBLE);
    host.Move(10, 10);
    host.CaptureMouse(&a);
    log.clear();
    EXPECT_TRUE(host.RemoveElement(&a));
    EXPECT_EQ((Log{"a.captureLost", "a.leave"}), log);
    EXPECT_EQ(nullptr, host.GetCaptureElement());
    EXPECT_EQ(nullptr, host.GetHoverElement());
    EXPECT_TRUE(host.GetElements().empty());
    EXPECT_FALSE(host.RemoveElement(&a));
}

TEST_F(ManagerTest, RemoveTakesOnlyTheFirstOccurrence) {
    ProbeElement a(&log, "a");
    a.Create(&host, 0, 0, 50, 50, 1, SOMF_VISIBLE);
    host.AddElement(&a);  // no duplicate check
    EXPECT_EQ(2u, host.GetElements().size());
    EXPECT_TRUE(host.RemoveElement(&a));
    EXPECT_EQ(1u, host.GetElements().size());
}

TEST_F(ManagerTest, ImmediateInvalidationPaintsOnlyThatElement) {
    ProbeElement a(&log, "a");
    ProbeElement b(&log, "b");
    a.Create(&host, 0, 0, 50, 50, 1, SOMF_VISIBLE);
    b.Create(&host, 60, 0, 50, 50, 2, SOMF_VISIBLE);
    ::UpdateWindow(host);
    const int before = b.draws;
    a.Invalidate(nullptr, 3);
    EXPECT_EQ(1, a.draws);
    EXPECT_EQ(3, a.lastDrawPart);
    EXPECT_EQ(-1, a.lastClipRight);
    EXPECT_EQ(before, b.draws);
}

TEST_F(ManagerTest, SetRedrawFalseDropsInvalidations) {
    ProbeElement a(&log, "a");
    a.Create(&host, 0, 0, 50, 50, 1, SOMF_VISIBLE);
    host.Send(WM_SETREDRAW, FALSE, 0);
    EXPECT_FALSE(host.lastHandled) << "WM_SETREDRAW is passed on";
    EXPECT_FALSE(host.IsRedrawAllowed());
    ::ValidateRect(host, nullptr);
    a.Invalidate(nullptr, 0);
    host.BeginUpdate();
    a.Invalidate(nullptr, 0);
    EXPECT_EQ(0, a.draws);
    RECT update{};
    EXPECT_FALSE(::GetUpdateRect(host, &update, FALSE)) << "dropped, not queued";
    host.EndUpdate();
    host.Send(WM_SETREDRAW, TRUE, 0);
    EXPECT_TRUE(host.IsRedrawAllowed());
    a.Invalidate(nullptr, 0);
    EXPECT_EQ(1, a.draws);
}

TEST(ManagerPainting, BeginUpdateQueuesUntilEndUpdate) {
    Log log;
    TestHost host(200, 100, true);
    ProbeElement a(&log, "a");
    a.Create(&host, 0, 0, 50, 50, 1, SOMF_VISIBLE);
    ::UpdateWindow(host);
    a.draws = 0;
    host.BeginUpdate();
    a.Invalidate(nullptr, 0);
    EXPECT_EQ(0, a.draws);
    RECT update{};
    EXPECT_TRUE(::GetUpdateRect(host, &update, FALSE));
    EXPECT_EQ(50, update.right);
    EXPECT_EQ(50, update.bottom);
    host.EndUpdate();
    EXPECT_EQ(1, a.draws) << "painted together in one WM_PAINT";
}

TEST_F(ManagerTest, HidingRepaintsTheBackgroundUnderTheElement) {
    class CountingHost : public TestHost {
    public:
        void DrawBackground(HDC, const RECT* rect) override {
            ++paints;
            last = *rect;
        }
        int paints = 0;
        RECT last{};
    } counting;
    ProbeElement a(&log, "a");
    a.Create(&counting, 5, 6, 20, 10, 1, SOMF_VISIBLE);
    ::ValidateRect(counting, nullptr);
    counting.paints = 0;
    EXPECT_TRUE(a.SetVisible(false));
    EXPECT_EQ(1, counting.paints);
    EXPECT_EQ(5, counting.last.left);
    EXPECT_EQ(16, counting.last.bottom);
    EXPECT_EQ(0, a.draws);
    EXPECT_FALSE(a.SetVisible(false));
    EXPECT_EQ(1, counting.paints) << "unchanged: nothing repainted";
}

TEST_F(ManagerTest, TransparentElementIsComposedOverItsBackground) {
    class SkinHost : public TestHost {
    public:
        void DrawBackground(HDC dc, const RECT* rect) override {
            HBRUSH brush = ::CreateSolidBrush(RGB(10, 20, 30));
            ::FillRect(dc, rect, brush);
            ::DeleteObject(brush);
        }
    } skin;
    class HalfElement : public CSomWnd {
    public:
        void Draw(HDC dc, int, int) override {
            RECT left{0, 0, GetWidth() / 2, GetHeight()};
            HBRUSH brush = ::CreateSolidBrush(RGB(250, 250, 0));
            ::FillRect(dc, &left, brush);
            ::DeleteObject(brush);
        }
    } half;
    half.Create(&skin, 10, 10, 40, 20, 1, SOMF_VISIBLE | SOMF_TRANSPARENT);
    PixelSurface surface(80, 40, RGB(255, 255, 255));
    skin.Send(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(surface.dc()), PRF_CLIENT);
    EXPECT_EQ(RGB(250, 250, 0), surface.At(15, 15));
    EXPECT_EQ(RGB(10, 20, 30), surface.At(45, 15)) << "background under the element's gap";
    EXPECT_EQ(RGB(10, 20, 30), surface.At(70, 35)) << "background around the element";
}

TEST_F(ManagerTest, GeometryChangesCallMoveAndSizeOnlyWhenChanged) {
    ProbeElement a(&log, "a");
    a.Create(&host, 0, 0, 10, 10, 1, SOMF_VISIBLE);
    log.clear();
    a.SetRect(0, 0, 10, 10);
    a.SetPos(5, 5);
    a.SetSize(20, 10);
    a.SetRect(1, 5, 20, 30);
    a.SetPos(5, 5);
    Log geometry;
    for (const auto& e : log) {
        if (e.find("move") != std::string::npos || e.find("size") != std::string::npos) geometry.push_back(e);
    }
    EXPECT_EQ((Log{"a.move 5,5", "a.size 20,10", "a.move 1,5", "a.size 20,30", "a.move 5,5"}), geometry);
    EXPECT_EQ(25, a.GetRect().right);
    EXPECT_EQ(35, a.GetRect().bottom);
}

TEST_F(ManagerTest, UnattachedElementOnlyChangesFlags) {
    ProbeElement a(&log, "a");
    a.SetPos(3, 3);
    a.Invalidate(nullptr, 0);
    EXPECT_FALSE(a.SetVisible(true));
    EXPECT_TRUE(a.IsVisible());
    EXPECT_TRUE(a.Enable(false));
    EXPECT_FALSE(a.IsEnabled());
    EXPECT_EQ(0, a.GetRect().left);
    EXPECT_TRUE(log.empty());
}

TEST(ManagerLifecycle, TeardownDetachesEveryElementAndServesANewWindow) {
    Log log;
    ProbeElement a(&log, "a");
    ProbeElement b(&log, "b");
    auto host = std::make_unique<TestHost>();
    a.Create(host.get(), 0, 0, 50, 50, 1, SOMF_VISIBLE | SOMF_TRANSPARENT);
    b.Create(host.get(), 60, 0, 50, 50, 2, SOMF_VISIBLE);
    host->Move(10, 10);
    host->CaptureMouse(&a);
    const HWND first = host->GetHostWindow();
    EXPECT_EQ(host->m_hWnd, first);
    log.clear();
    host->DestroyWindow();
    EXPECT_EQ((Log{"a.leave", "a.captureLost", "a.destroy", "b.destroy"}), log);
    EXPECT_FALSE(a.IsAttached());
    EXPECT_FALSE(a.IsVisible());
    EXPECT_EQ(0, a.GetId());
    EXPECT_EQ(0, a.GetWidth());
    EXPECT_TRUE(host->GetElements().empty());
    EXPECT_EQ(nullptr, host->GetHostWindow());

    // The same manager object serves a new window; elements can be created again.
    RECT rect{0, 0, 100, 100};
    ASSERT_TRUE(host->Create(nullptr, rect, L"second", WS_POPUP));
    EXPECT_EQ(host->m_hWnd, host->GetHostWindow());
    a.Create(host.get(), 0, 0, 50, 50, 1, SOMF_VISIBLE);
    log.clear();
    host->Tick();
    EXPECT_EQ((Log{"a.timer"}), log);
}

TEST_F(ManagerTest, CursorRoutingUsesThePointerPosition) {
    ProbeElement a(&log, "a", 1);
    a.Create(&host, 0, 0, 50, 50, 1, SOMF_VISIBLE);
    host.SetPointer(10, 10);
    EXPECT_EQ(1, host.Send(WM_SETCURSOR, reinterpret_cast<WPARAM>(host.m_hWnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    EXPECT_TRUE(host.lastHandled);
    host.SetPointer(100, 100);
    log.clear();
    host.Send(WM_SETCURSOR, reinterpret_cast<WPARAM>(host.m_hWnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_FALSE(host.lastHandled);
    EXPECT_TRUE(log.empty());
}

TEST_F(ManagerTest, EraseIsSwallowed) {
    PixelSurface surface(10, 10);
    EXPECT_EQ(1, host.Send(WM_ERASEBKGND, reinterpret_cast<WPARAM>(surface.dc()), 0));
    EXPECT_TRUE(host.lastHandled);
}

}  // namespace
