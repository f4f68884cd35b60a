// The rich-text element: layout, drawing limits and links.
#include "tests/ui/UiTestSupport.h"

#include "ui/SomSkin.h"
#include "ui/SomTextWnd.h"

#include <gtest/gtest.h>

namespace {

class CountingText : public CSomTextWnd {
public:
    void Draw(HDC dc, int clipRight, int part) override {
        ++draws;
        CSomTextWnd::Draw(dc, clipRight, part);
    }
    std::vector<std::wstring> opened;
    int draws = 0;

protected:
    void OpenLink(const std::wstring& link) override { opened.push_back(link); }
};

// Centre of run i in host coordinates.
POINT RunCentre(const CSomTextWnd& text, size_t i) {
    const RECT& r = text.GetRuns()[i].rect;
    return POINT{text.GetRect().left + (r.left + r.right) / 2, text.GetRect().top + (r.top + r.bottom) / 2};
}

bool AnyPixelOf(const PixelSurface& s, COLORREF colour, int fromX, int toX) {
    for (int y = 0; y < s.height(); ++y) {
        for (int x = fromX; x < toX; ++x) {
            if (s.At(x, y) == colour) return true;
        }
    }
    return false;
}

// One text element on a test host, created at (x, y) and auto-sized.
class SomTextWndTest : public ::testing::Test {
protected:
    void Show(const wchar_t* markup, int x = 0, int y = 0) {
        text.Create(&host, x, y, 1, SOMF_VISIBLE | SOMF_AUTOSIZE);
        if (markup) text.SetText(markup);
    }
    // Moves over run i and presses the button there; returns the point.
    POINT Press(size_t run) {
        const POINT p = RunCentre(text, run);
        host.Move(p.x, p.y);
        host.Down(p.x, p.y);
        return p;
    }

    TestHost host;
    CountingText text;
};

TEST_F(SomTextWndTest, OnlyAColourTagAutoSizesToNothing) {
    Show(L"{&#color=0xffffff}", 5, 5);
    EXPECT_TRUE(text.GetRuns().empty());
    EXPECT_EQ(0, text.GetWidth());
    EXPECT_EQ(0, text.GetHeight());
    EXPECT_TRUE(text.IsTransparent());
}

TEST_F(SomTextWndTest, RunsOfDifferentHeightsShareTheirBottom) {
    Show(L"{&#font=3}小字{&#/font}{&#font=7}大字");
    ASSERT_EQ(2u, text.GetRuns().size());
    const RECT small = text.GetRuns()[0].rect;
    const RECT big = text.GetRuns()[1].rect;
    EXPECT_EQ(small.bottom, big.bottom);
    EXPECT_EQ(0, big.top);
    EXPECT_GT(small.top, 0) << "the smaller run sits lower";
    EXPECT_EQ(small.right, big.left);
    EXPECT_EQ(big.right, text.GetWidth());
    EXPECT_EQ(big.bottom, text.GetHeight());
}

TEST_F(SomTextWndTest, MaxWidthCutsWithEllipsisAndSkipsLaterRuns) {
    Show(nullptr);
    text.SetMaxWidth(450);
    std::wstring line = L"{&#color=0x0000ff}";
    for (int i = 0; i < 40; ++i) line += L"宽";
    line += L"{&#color=0x00ff00}尾巴尾巴尾巴";
    text.SetText(line.c_str());
    ASSERT_EQ(2u, text.GetRuns().size());
    ASSERT_GT(text.GetRuns()[0].rect.right, 450) << "the first run must cross the limit";
    EXPECT_EQ(450, text.GetWidth());

    PixelSurface surface(1000, 40, RGB(0, 0, 0));
    text.Draw(surface.dc(), -1, 0);
    EXPECT_TRUE(AnyPixelOf(surface, RGB(255, 0, 0), 0, 450));
    EXPECT_FALSE(AnyPixelOf(surface, RGB(255, 0, 0), 450, 1000)) << "nothing beyond 450";
    EXPECT_FALSE(AnyPixelOf(surface, RGB(0, 255, 0), 0, 1000)) << "runs beyond the limit are not drawn";
}

TEST_F(SomTextWndTest, ColoursOfPlainLinkAndHoveredRuns) {
    Show(nullptr);
    text.SetTextColor(RGB(0, 0, 255));
    text.SetLinkColors(RGB(0, 255, 0), RGB(255, 0, 0));
    text.SetText(L"文字{&#a=button:3}链接");
    PixelSurface surface(200, 30, RGB(0, 0, 0));
    text.Draw(surface.dc(), -1, 0);
    const int split = text.GetRuns()[1].rect.left;
    EXPECT_TRUE(AnyPixelOf(surface, RGB(0, 0, 255), 0, split));
    EXPECT_TRUE(AnyPixelOf(surface, RGB(0, 255, 0), split, 200));

    const POINT link = RunCentre(text, 1);
    host.Move(link.x, link.y);
    EXPECT_EQ(1, text.GetHoveredRun());
    PixelSurface hovered(200, 30, RGB(0, 0, 0));
    text.Draw(hovered.dc(), -1, 2);
    EXPECT_TRUE(AnyPixelOf(hovered, RGB(255, 0, 0), split, 200));
    EXPECT_FALSE(AnyPixelOf(hovered, RGB(0, 0, 255), 0, 200)) << "part 2 draws only the second run";
}

TEST_F(SomTextWndTest, HexButtonLinkSendsItsCommand) {
    Show(L"{&#a=button:0x10}{&#acolor=16678964}打开", 10, 10);
    const POINT p = Press(0);
    EXPECT_TRUE(host.lastHandled);
    EXPECT_EQ(0, text.GetPressedRun());
    EXPECT_EQ(&text, host.GetCaptureElement());
    host.Up(p.x, p.y);
    ASSERT_EQ(1u, host.commands.size());
    EXPECT_EQ(16, host.commands[0].id);
    EXPECT_EQ(-1, text.GetPressedRun());
}

TEST_F(SomTextWndTest, ReleaseOutsideAfterPressingALinkSendsNothing) {
    Show(L"{&#a=button:7}OK", 10, 10);
    Press(0);
    host.Move(300, 150);
    host.Up(300, 150);
    EXPECT_TRUE(host.commands.empty());
    EXPECT_TRUE(text.opened.empty());
    EXPECT_EQ(nullptr, host.GetCaptureElement());
}

TEST_F(SomTextWndTest, ClickOnPlainTextReachesTheHost) {
    Show(L"plain", 10, 10);
    const POINT p = RunCentre(text, 0);
    host.Down(p.x, p.y);
    EXPECT_FALSE(host.lastHandled);
    EXPECT_EQ(nullptr, host.GetCaptureElement());
}

TEST_F(SomTextWndTest, OtherLinksAreOpened) {
    Show(L"{&#a=http://127.0.0.1:17223/}首页", 10, 10);
    const POINT p = Press(0);
    host.Up(p.x, p.y);
    ASSERT_EQ(1u, text.opened.size());
    EXPECT_EQ(L"http://127.0.0.1:17223/", text.opened[0]);
    EXPECT_TRUE(host.commands.empty());
}

TEST_F(SomTextWndTest, SameMarkupTwiceDoesNotRedraw) {
    Show(L"一次");
    const int draws = text.draws;
    EXPECT_GT(draws, 0);
    text.SetText(L"一次");
    EXPECT_EQ(draws, text.draws);
    text.SetText(nullptr);
    EXPECT_TRUE(text.GetRuns().empty());
}

TEST_F(SomTextWndTest, NewMarkupWhilePressedReleasesWithoutFiring) {
    Show(L"{&#a=button:9}OK", 10, 10);
    Press(0);
    text.SetText(L"{&#a=button:9}changed");
    EXPECT_EQ(nullptr, host.GetCaptureElement());
    EXPECT_EQ(-1, text.GetPressedRun());
    EXPECT_EQ(-1, text.GetHoveredRun());
    EXPECT_TRUE(host.commands.empty());
}

TEST_F(SomTextWndTest, HandCursorOnlyOverLinks) {
    Show(L"ab{&#a=button:1}cd");
    const RECT plain = text.GetRuns()[0].rect;
    const RECT link = text.GetRuns()[1].rect;
    EXPECT_EQ(0, text.OnSetCursor(POINT{plain.left + 1, plain.bottom - 2}));
    EXPECT_EQ(1, text.OnSetCursor(POINT{link.left + 1, link.bottom - 2}));
}

TEST_F(SomTextWndTest, FontChangeRelayoutsRunsWithoutOwnFont) {
    Show(L"保存路径：");
    const int before = text.GetWidth();
    text.SetFont(SomSkin.fonts.Get(13));  // 20 pixels bold
    EXPECT_GT(text.GetWidth(), before);
}

TEST(SomTextWndLinks, OnlyWebAddressesReachTheShell) {
    for (const wchar_t* link : {L"file:///C:/windows/notepad.exe", L"\\\\server\\share\\setup.exe",
                                L"C:\\windows\\notepad.exe", L"mailto:a@b", L""}) {
        EXPECT_FALSE(OpenWebLink(link));
    }
}

}  // namespace
