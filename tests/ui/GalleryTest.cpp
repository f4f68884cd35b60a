// Renders the gallery on the test display and saves it as
// ${VORLA_BUILD_DIR}/screenshots/gallery.png, then checks a few pixels.
#include "tests/ui/GalleryWindow.h"
#include "tests/support/Screenshot.h"
#include "tests/ui/UiTestSupport.h"

#include "ui/SomSkin.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {


// Pixels of rect (client coordinates) that differ from colour.
int CountOtherThan(const PixelSurface& s, RECT rect, COLORREF colour) {
    int count = 0;
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x) count += s.At(x, y) != colour ? 1 : 0;
    }
    return count;
}

TEST(Gallery, RendersOnTheDisplayAndIsSaved) {
    GalleryWindow gallery;
    ASSERT_NE(nullptr, gallery.CreateGallery(true));
    // Hover one button with the real pointer, so the shot shows frame 1.
    const RECT retry = gallery.RetryButton().GetRect();
    POINT pointer{(retry.left + retry.right) / 2, (retry.top + retry.bottom) / 2};
    ::SetCursorPos(pointer.x, pointer.y);  // the gallery sits at the screen's origin
    gallery.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(pointer.x, pointer.y));
    ::UpdateWindow(gallery);
    testing_support::PumpUntil([&] { return gallery.paints > 0; }, 5000);

    const int w = GalleryWindow::kWidth;
    const int h = GalleryWindow::kHeight;
    PixelSurface shot(w, h, RGB(0, 0, 0));
    {
        HDC window = ::GetDC(gallery);
        ::BitBlt(shot.dc(), 0, 0, w, h, window, 0, 0, SRCCOPY);
        ::ReleaseDC(gallery, window);
    }
    // Where the display gives back nothing, paint the same content off-screen.
    if (shot.At(w - 1, h - 1) != RGB(58, 64, 76)) {
        ::SendMessageW(gallery, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(shot.dc()), PRF_CLIENT);
    }
    const std::wstring path = ScreenshotFile(L"gallery");
    ASSERT_TRUE(WriteBgraPng(path, w, h, shot.Bits())) << testing_support::Narrow(path);

    // The page's outside corner is the colour key.
    EXPECT_EQ(RGB(0, 255, 255), shot.At(GalleryWindow::kPageX + 679, GalleryWindow::kPageY + 2));
    EXPECT_EQ(RGB(58, 64, 76), shot.At(w - 2, h - 2));
    // The hovered button shows its pointer-over frame.
    EXPECT_EQ(1, gallery.RetryButton().GetStateIndex());
    // The title and the captions are drawn: the title row has white pixels.
    const RECT title{GalleryWindow::kPageX + 53, GalleryWindow::kPageY + 22, GalleryWindow::kPageX + 300,
                     GalleryWindow::kPageY + 40};
    int white = 0;
    for (int y = title.top; y < title.bottom; ++y) {
        for (int x = title.left; x < title.right; ++x) white += shot.At(x, y) == RGB(255, 255, 255) ? 1 : 0;
    }
    EXPECT_GT(white, 40);
    // The action button's caption: its middle is not one flat colour.
    const RECT& action = gallery.ActionButton().GetRect();
    RECT middle{action.left + 30, action.top + 12, action.right - 30, action.bottom - 12};
    EXPECT_GT(CountOtherThan(shot, middle, shot.At(action.left + 8, action.top + 20)), 50);
    // The progress bar's fill reaches 42 % of 420 pixels and not further.
    const int barX = GalleryWindow::kPageX + 87;
    const int barY = GalleryWindow::kPageY + 342 + 8;
    EXPECT_GT(GetBValue(shot.At(barX + 150, barY)), 150);
    EXPECT_LT(GetBValue(shot.At(barX + 200, barY)), 150);
}

TEST(Gallery, ChineseTextIsMeasuredAsGlyphsNotBoxes) {
    // A missing CJK font shows every character as the same box: two
    // different characters would then render identically.
    PixelSurface a(40, 20, RGB(0, 0, 0));
    PixelSurface b(40, 20, RGB(0, 0, 0));
    for (auto* s : {&a, &b}) {
        ::SetBkMode(s->dc(), TRANSPARENT);
        ::SetTextColor(s->dc(), RGB(255, 255, 255));
        ::SelectObject(s->dc(), SomSkin.fonts.Get(7));
    }
    ::TextOutW(a.dc(), 0, 0, L"下", 1);
    ::TextOutW(b.dc(), 0, 0, L"载", 1);
    int differ = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 40; ++x) differ += a.At(x, y) != b.At(x, y) ? 1 : 0;
    }
    EXPECT_GT(differ, 20);
}

}  // namespace
