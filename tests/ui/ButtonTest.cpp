// Buttons, the check box and the tooltip registry.
#include "tests/ui/UiTestSupport.h"

#include "ui/MySomButton4.h"
#include "ui/SomButton4.h"
#include "ui/SomCheckBox.h"
#include "ui/SomSkin.h"

#include <gtest/gtest.h>

namespace {

// The check box strip of the skin, frame n drawn at (0,0) of its own surface.
COLORREF CentreOfFrame(int frame) {
    CSomBitmap strip(IDR_PNG_CHECK_BOX, 9);
    PixelSurface surface(14, 14, RGB(0, 0, 0));
    strip.Draw(surface.dc(), 0, 0, frame);
    return surface.At(7, 7);
}

TEST(SomButton4, AutoSizeWithoutContentTakesOneFrame) {
    TestHost host;
    CSomButton4 button;
    button.Create(&host, 20, 20, 40, SOMF_VISIBLE | SOMF_AUTOSIZE);
    button.SetImage(&SomSkin.closeTextButton);
    EXPECT_EQ(78, button.GetWidth());
    EXPECT_EQ(30, button.GetHeight());
    EXPECT_EQ(39, button.GetContentOffset());
    EXPECT_TRUE(button.IsTransparent());
}

TEST(SomButton4, AutoSizeGrowsForALongCaption) {
    TestHost host;
    CSomButton4 button;
    button.Create(&host, 0, 0, 40, SOMF_VISIBLE | SOMF_AUTOSIZE);
    button.SetCaption(L"一个很长很长很长很长的按钮标题");
    button.SetImage(&SomSkin.closeTextButton);
    EXPECT_GT(button.GetWidth(), 78);
    EXPECT_EQ(7, button.GetContentOffset()) << "(K + 15 - K) / 2";
}

TEST(SomButton4, FixedSizeCentresTheContent) {
    TestHost host;
    CSomButton4 button;
    button.Create(&host, 0, 0, 100, 30, 40, SOMF_VISIBLE);
    button.SetIcon(&SomSkin.warningIcon, 0);  // 24 wide
    button.SetImage(nullptr);
    EXPECT_EQ(38, button.GetContentOffset());
    button.SetCaption(L"x");
    EXPECT_LT(button.GetContentOffset(), 38) << "icon, 5 pixels, caption";
}

TEST(SomButton4, StateFramesFollowHoverPressAndDisable) {
    TestHost host;
    CSomButton4 button;
    button.Create(&host, 0, 0, 78, 30, 5, SOMF_VISIBLE);
    button.SetImage(&SomSkin.closeTextButton);
    EXPECT_EQ(0, button.GetStateIndex());
    host.Move(10, 10);
    EXPECT_EQ(1, button.GetStateIndex());
    host.Down(10, 10);
    EXPECT_EQ(2, button.GetStateIndex());
    host.Move(200, 100);
    EXPECT_EQ(0, button.GetStateIndex()) << "pressed with the pointer outside";
    host.Up(200, 100);
    button.Enable(false);
    EXPECT_EQ(3, button.GetStateIndex());

    // A three-frame strip has no disabled frame: nothing is drawn.
    PixelSurface surface(78, 30, RGB(1, 2, 3));
    button.Draw(surface.dc(), -1, 0);
    EXPECT_EQ(RGB(1, 2, 3), surface.At(39, 15));
}

TEST(SomButton4, DoubleClickPressesLikeADown) {
    TestHost host;
    CSomButton4 button;
    button.Create(&host, 0, 0, 78, 30, 5, SOMF_VISIBLE);
    host.Move(10, 10);
    host.Mouse(WM_LBUTTONDBLCLK, 10, 10);
    EXPECT_TRUE(button.IsPressed());
    EXPECT_EQ(1, button.OnLButtonDown(POINT{1, 1})) << "already pressed";
    host.Up(10, 10);
    ASSERT_EQ(1u, host.commands.size());
    EXPECT_EQ(5, host.commands[0].id);
}

TEST(SomButton4, WithoutImageStillSendsItsCommand) {
    TestHost host;
    CSomButton4 button;
    button.Create(&host, 0, 0, 20, 20, 0x12345, SOMF_VISIBLE);
    host.Move(5, 5);
    host.Down(5, 5);
    host.Up(5, 5);
    ASSERT_EQ(1u, host.commands.size());
    EXPECT_EQ(0x2345, host.commands[0].id) << "the low 16 bits of the id";
}

TEST(SomButton4, DisabledButtonGetsNoClicks) {
    TestHost host;
    CSomButton4 button;
    button.Create(&host, 0, 0, 20, 20, 3, SOMF_VISIBLE | SOMF_DISABLED);
    host.Move(5, 5);
    host.Down(5, 5);
    host.Up(5, 5);
    EXPECT_FALSE(button.IsPressed());
    EXPECT_TRUE(host.commands.empty());
}

TEST(MySomButton4, CentresItsCaptionInItsColour) {
    TestHost host;
    CMySomButton4 button;
    button.Create(&host, 0, 0, 120, 40, 3, SOMF_VISIBLE);
    button.SetCaption(L"确定");
    button.SetCaptionColor(RGB(255, 255, 0));
    button.SetCaptionFont(SomSkin.fonts.Get(13));
    PixelSurface surface(120, 40, RGB(0, 0, 0));
    button.Draw(surface.dc(), -1, 0);
    int minX = 1000, maxX = -1;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 120; ++x) {
            if (surface.At(x, y) != RGB(0, 0, 0)) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
            }
        }
    }
    ASSERT_GE(maxX, 0);
    EXPECT_NEAR(60, (minX + maxX) / 2, 4);
}

TEST(SomCheckBox, FramesForEveryState) {
    TestHost host;
    CSomCheckBox box(nullptr, false);
    box.Create(&host, 0, 0, 14, 14, 7, SOMF_VISIBLE);
    EXPECT_EQ(0, box.GetFrameIndex());
    box.SetCheck(true);
    EXPECT_EQ(4, box.GetFrameIndex());
    host.Move(3, 3);
    EXPECT_EQ(5, box.GetFrameIndex());
    host.Down(3, 3);
    EXPECT_EQ(6, box.GetFrameIndex());
    host.Move(100, 100);
    EXPECT_EQ(4, box.GetFrameIndex());
    host.Up(100, 100);
    EXPECT_TRUE(box.GetCheck()) << "released outside: unchanged";
    box.Enable(false);
    EXPECT_EQ(7, box.GetFrameIndex());
    box.SetMixed(true);
    EXPECT_EQ(8, box.GetFrameIndex());
}

TEST(SomCheckBox, DisabledCheckedBoxShowsFrame7AndIgnoresClicks) {
    TestHost host;
    CSomBitmap strip(IDR_PNG_CHECK_BOX, 9);
    CSomCheckBox box(&strip, false);
    box.Create(&host, 0, 0, 7, SOMF_VISIBLE | SOMF_AUTOSIZE);
    EXPECT_EQ(14, box.GetWidth());
    EXPECT_EQ(14, box.GetHeight());
    EXPECT_FALSE(box.IsTransparent()) << "the frames cover the box";
    box.SetCheck(true);
    box.Enable(false);
    host.Move(5, 5);
    host.Down(5, 5);
    host.Up(5, 5);
    EXPECT_TRUE(box.GetCheck());
    EXPECT_TRUE(host.commands.empty());
    PixelSurface surface(14, 14, RGB(0, 0, 0));
    box.Draw(surface.dc(), -1, 0);
    EXPECT_EQ(CentreOfFrame(7), surface.At(7, 7));
    EXPECT_NE(CentreOfFrame(4), CentreOfFrame(7));
}

TEST(SomCheckBox, ClickTogglesAndTheHostReadsTheNewState) {
    TestHost host;
    CSomCheckBox box(nullptr, false);
    box.Create(&host, 0, 0, 14, 14, 7, SOMF_VISIBLE);
    host.Move(3, 3);
    host.Down(3, 3);
    host.Up(3, 3);
    EXPECT_TRUE(box.GetCheck());
    host.Down(3, 3);
    host.Up(3, 3);
    EXPECT_FALSE(box.GetCheck());
    EXPECT_EQ(2u, host.commands.size());
}

TEST(SomCheckBox, MixedAndRadioClicks) {
    TestHost host;
    CSomCheckBox mixed(nullptr, false);
    mixed.Create(&host, 0, 0, 14, 14, 7, SOMF_VISIBLE);
    mixed.SetCheck(true);
    mixed.SetMixed(true);
    host.Move(3, 3);
    host.Down(3, 3);
    host.Up(3, 3);
    EXPECT_TRUE(mixed.GetCheck());
    EXPECT_FALSE(mixed.IsMixed());

    CSomCheckBox radio(nullptr, true);
    radio.Create(&host, 50, 0, 14, 14, 8, SOMF_VISIBLE);
    radio.SetMixed(true);
    EXPECT_EQ(0, radio.GetFrameIndex()) << "a radio box never shows the mixed frame";
    for (int i = 0; i < 2; ++i) {
        host.Move(53, 3);
        host.Down(53, 3);
        host.Up(53, 3);
        EXPECT_TRUE(radio.GetCheck());
    }
}

TEST(SomCheckBox, SetCheckOnMixedCheckedBoxClearsMixedAndRepaints) {
    class CountingBox : public CSomCheckBox {
    public:
        CountingBox() : CSomCheckBox(nullptr, false) {}
        void Draw(HDC dc, int clipRight, int part) override {
            ++draws;
            CSomCheckBox::Draw(dc, clipRight, part);
        }
        int draws = 0;
    };
    TestHost host;
    CountingBox box;
    box.Create(&host, 0, 0, 14, 14, 7, SOMF_VISIBLE);
    box.SetCheck(true);
    box.SetMixed(true);
    const int before = box.draws;
    box.SetCheck(true);
    EXPECT_FALSE(box.IsMixed());
    EXPECT_EQ(before + 1, box.draws);
    box.SetCheck(true);
    EXPECT_EQ(before + 1, box.draws) << "unchanged: no repaint";
}

TEST(SomCheckBox, CreateResetsToUnchecked) {
    TestHost host;
    CSomCheckBox box(nullptr, false);
    box.SetCheck(true);
    box.Create(&host, 0, 0, 14, 14, 7, SOMF_VISIBLE);
    EXPECT_FALSE(box.GetCheck());
}

TEST(SomCheckBox, CaptionWidensAndMakesTransparent) {
    TestHost host;
    CSomBitmap strip(IDR_PNG_CHECK_BOX, 9);
    CSomCheckBox box(&strip, false);
    box.SetCaption(L"安装Vorla游戏Keldor");
    box.Create(&host, 0, 0, 7, SOMF_VISIBLE | SOMF_AUTOSIZE);
    EXPECT_GT(box.GetWidth(), 14 + 5);
    EXPECT_TRUE(box.IsTransparent());
}

class TipElement : public CSomWnd {
public:
    void Draw(HDC, int, int) override {}
    void OnToolTipText(int key, NMTTDISPINFOW* request) override {
        lastKey = key;
        request->lpszText = const_cast<wchar_t*>(L"tip");
    }
    int lastKey = -1;
};

TEST(SomToolTipAdpater, SmallestFreeIdsAndDuplicateKeys) {
    TestHost host;
    TipElement a, b;
    a.Create(&host, 0, 0, 10, 10, 1, SOMF_VISIBLE);
    b.Create(&host, 20, 0, 10, 10, 2, SOMF_VISIBLE);
    EXPECT_EQ(1, host.AddToolTip(&a, 100, nullptr));
    EXPECT_EQ(2, host.AddToolTip(&a, 200, nullptr));
    EXPECT_EQ(0, host.AddToolTip(&a, 100, nullptr)) << "same element and key";
    EXPECT_EQ(3, host.AddToolTip(&b, 100, nullptr));
    host.RemoveToolTips(&a);
    EXPECT_EQ(1u, host.ToolTips().ToolCount());
    EXPECT_EQ(1, host.AddToolTip(&a, 300, nullptr)) << "ids are reused from the smallest";
    EXPECT_EQ(2, host.AddToolTip(&b, 400, nullptr));
}

TEST(SomToolTipAdpater, TextRequestsReachTheElement) {
    TestHost host;
    TipElement a;
    a.Create(&host, 0, 0, 10, 10, 1, SOMF_VISIBLE);
    const int id = host.AddToolTip(&a, 42, nullptr);
    NMTTDISPINFOW request{};
    request.hdr.code = TTN_GETDISPINFOW;
    request.hdr.idFrom = static_cast<UINT_PTR>(id);
    host.Send(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&request));
    EXPECT_TRUE(host.lastHandled);
    EXPECT_EQ(42, a.lastKey);

    NMTTDISPINFOW unknown{};
    unknown.hdr.code = TTN_GETDISPINFOW;
    unknown.hdr.idFrom = 99;
    host.Send(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&unknown));
    EXPECT_TRUE(host.lastHandled);
    EXPECT_EQ(nullptr, unknown.lpszText);

    NMTTDISPINFOW byWindow{};
    byWindow.hdr.code = TTN_GETDISPINFOW;
    byWindow.uFlags = TTF_IDISHWND;
    host.Send(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&byWindow));
    EXPECT_FALSE(host.lastHandled);
}

}  // namespace
