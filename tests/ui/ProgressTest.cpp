// Progress bars: range rules and the track and fill geometry.
#include "tests/ui/UiTestSupport.h"

#include "ui/KeldorProgress.h"
#include "ui/SomSkin.h"
#include "ui/TextProgress.h"

#include <gtest/gtest.h>

namespace {

class CountingProgress : public CKeldorProgress {
public:
    void Draw(HDC dc, int clipRight, int part) override {
        ++draws;
        CKeldorProgress::Draw(dc, clipRight, part);
    }
    int draws = 0;
};

// The skin's fill is a blue gradient, the track a dark one: on a black
// surface a column is "filled" when its centre pixel has much more blue
// than the track's.
bool Filled(const PixelSurface& s, int x) {
    return GetBValue(s.At(x, 8)) > 150;
}

// An empty bar of this width with the fill's left end at leftX and its right
// end at rightX, drawn as the bar draws them.
void DrawTrackAndEnds(PixelSurface& surface, int width, int leftX, int rightX) {
    TestHost host;
    class Track : public CKeldorProgress {
    public:
        void Draw(HDC dc, int, int) override { DrawBar(dc); }
    } track;
    track.Create(&host, 0, 0, width, 17, 4, SOMF_VISIBLE);
    track.SetCapWidth(9);
    track.Draw(surface.dc(), -1, 0);
    CSomBitmap fill(IDR_PNG_PROGRESS_FILL, 1);
    fill.DrawPart(surface.dc(), leftX, 0, 9, 17, 0, 0, 0);
    fill.DrawPart(surface.dc(), rightX, 0, 9, 17, fill.GetFrameWidth() - 9, 0, 0);
}

void ExpectColumnsEqual(const PixelSurface& expected, const PixelSurface& actual, int fromX, int toX) {
    for (int x = fromX; x < toX; ++x) {
        for (int y = 0; y < 17; ++y) ASSERT_EQ(expected.At(x, y), actual.At(x, y)) << x << "," << y;
    }
}

// Draws only the bar (no text) of a created progress.
class BarOnly : public CKeldorProgress {
public:
    void Draw(HDC dc, int, int) override { DrawBar(dc); }
};

TEST(KeldorProgress, CreateResetsRangeAndTakesTheFillHeight) {
    TestHost host;
    CKeldorProgress bar;
    bar.Create(&host, 0, 0, 420, 5, 4, SOMF_VISIBLE | SOMF_AUTOSIZE);
    EXPECT_EQ(17, bar.GetHeight());
    EXPECT_EQ(420, bar.GetWidth());
    EXPECT_EQ(0, bar.GetMinimum());
    EXPECT_EQ(100, bar.GetMaximum());
    EXPECT_EQ(0, bar.GetPosition());
    EXPECT_TRUE(bar.IsTransparent()) << "the fill has alpha";
    bar.SetPosition(40);
    bar.Create(&host, 0, 0, 420, 17, 4, SOMF_VISIBLE);
    EXPECT_EQ(0, bar.GetPosition());
}

TEST(KeldorProgress, RangeRules) {
    TestHost host;
    CountingProgress bar;
    bar.Create(&host, 0, 0, 420, 17, 4, SOMF_VISIBLE);
    bar.SetPosition(30);
    const int draws = bar.draws;
    bar.SetRange(5, 5);
    bar.SetRange(9, 2);
    EXPECT_EQ(0, bar.GetMinimum());
    EXPECT_EQ(100, bar.GetMaximum());
    EXPECT_EQ(30, bar.GetPosition());
    bar.SetRange(0, 100);
    EXPECT_EQ(draws, bar.draws) << "the same range changes nothing";
    bar.SetRange(0, 50);
    EXPECT_EQ(0, bar.GetPosition());
    bar.SetPosition(150);
    EXPECT_EQ(50, bar.GetPosition());
    bar.SetPosition(-3);
    EXPECT_EQ(0, bar.GetPosition());
    const int before = bar.draws;
    bar.SetPosition(0);
    EXPECT_EQ(before, bar.draws) << "unchanged position: no repaint";
}

TEST(KeldorProgress, FilledWidthTruncates) {
    TestHost host;
    CKeldorProgress bar;
    bar.Create(&host, 0, 0, 420, 17, 4, SOMF_VISIBLE);
    bar.SetPosition(100);
    EXPECT_EQ(420, bar.GetFilledWidth());
    bar.SetPosition(1);
    EXPECT_EQ(4, bar.GetFilledWidth());
    bar.SetRange(0, 50);
    bar.SetPosition(25);
    EXPECT_EQ(210, bar.GetFilledWidth());
}

TEST(KeldorProgress, FullBarHasBothEndsAndTheStretchedColumn) {
    TestHost host;
    BarOnly bar;
    bar.Create(&host, 0, 0, 420, 17, 4, SOMF_VISIBLE);
    bar.SetCapWidth(9);
    bar.SetPosition(100);
    PixelSurface surface(420, 17, RGB(0, 0, 0));
    bar.Draw(surface.dc(), -1, 0);
    for (int x = 2; x < 418; x += 1) ASSERT_TRUE(Filled(surface, x)) << x;
    // The ends are the image's own, at 0..9 and 411..420.
    PixelSurface reference(420, 17, RGB(0, 0, 0));
    DrawTrackAndEnds(reference, 420, 0, 411);
    ExpectColumnsEqual(reference, surface, 0, 9);
    ExpectColumnsEqual(reference, surface, 411, 420);
}

TEST(KeldorProgress, EmptyBarShowsOnlyTheTrackAndZeroPercent) {
    TestHost host;
    BarOnly bar;
    bar.Create(&host, 0, 0, 420, 17, 4, SOMF_VISIBLE);
    bar.SetCapWidth(9);
    PixelSurface surface(420, 17, RGB(0, 0, 0));
    bar.Draw(surface.dc(), -1, 0);
    for (int x = 0; x < 420; ++x) ASSERT_FALSE(Filled(surface, x)) << x;
    EXPECT_NE(RGB(0, 0, 0), surface.At(200, 8)) << "the track is drawn";
}

TEST(KeldorProgress, BetweenOneAndTwoCapsBothEndsShow) {
    TestHost host;
    BarOnly bar;
    bar.Create(&host, 0, 0, 400, 17, 4, SOMF_VISIBLE);
    bar.SetCapWidth(9);
    bar.SetPosition(3);  // F = 3 * 400 / 100 = 12
    ASSERT_EQ(12, bar.GetFilledWidth());
    PixelSurface surface(400, 17, RGB(0, 0, 0));
    bar.Draw(surface.dc(), -1, 0);
    EXPECT_TRUE(Filled(surface, 4));
    EXPECT_TRUE(Filled(surface, 13)) << "the right end is drawn at 9..18";
    EXPECT_FALSE(Filled(surface, 19));
    // Both ends are the image's own: the left end at 0..9, the right one at 9..18.
    PixelSurface reference(400, 17, RGB(0, 0, 0));
    DrawTrackAndEnds(reference, 400, 0, 9);
    ExpectColumnsEqual(reference, surface, 0, 18);
}

TEST(KeldorProgress, LessThanOneCapIsCutOff) {
    TestHost host;
    BarOnly bar;
    bar.Create(&host, 0, 0, 400, 17, 4, SOMF_VISIBLE);
    bar.SetCapWidth(9);
    bar.SetPosition(1);  // F = 4
    PixelSurface surface(400, 17, RGB(0, 0, 0));
    bar.Draw(surface.dc(), -1, 0);
    EXPECT_TRUE(Filled(surface, 3));
    EXPECT_FALSE(Filled(surface, 5));
}

// Leftmost and rightmost non-background columns of white text in a band.
std::pair<int, int> WhiteSpan(const PixelSurface& s, int fromX, int toX) {
    int left = -1, right = -1;
    for (int x = fromX; x < toX; ++x) {
        for (int y = 0; y < s.height(); ++y) {
            const COLORREF c = s.At(x, y);
            if (GetRValue(c) > 200 && GetGValue(c) > 200 && GetBValue(c) > 200) {
                if (left < 0) left = x;
                right = x;
                break;
            }
        }
    }
    return {left, right};
}

TEST(TextProgress, PercentAtTheRightAndCaptionAtTheLeft) {
    TestHost host;
    CTextProgress bar;
    bar.Create(&host, 0, 0, 420, 17, 4, SOMF_VISIBLE | SOMF_AUTOSIZE);
    bar.SetCapWidth(9);
    bar.SetCaption(L"1.5MB/2.0GB");
    PixelSurface surface(420, 17, RGB(0, 0, 0));
    bar.Draw(surface.dc(), -1, 0);
    const auto caption = WhiteSpan(surface, 0, 200);
    EXPECT_GE(caption.first, 10);
    EXPECT_LT(caption.first, 14);
    const auto percent = WhiteSpan(surface, 300, 420);
    EXPECT_GE(percent.first, 420 - 32);
    EXPECT_NE(nullptr, bar.GetFont(3));
}

TEST(KeldorProgress, PercentTextIsCentred) {
    TestHost host;
    CKeldorProgress bar;
    bar.Create(&host, 0, 0, 300, 17, 4, SOMF_VISIBLE);
    bar.SetCapWidth(8);
    bar.SetRange(0, 50);
    bar.SetPosition(25);  // reads 25%, not 50%
    PixelSurface surface(300, 17, RGB(0, 0, 0));
    bar.Draw(surface.dc(), -1, 0);
    EXPECT_GE(WhiteSpan(surface, 100, 200).first, 140);
}

}  // namespace
