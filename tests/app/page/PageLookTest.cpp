// What the download page draws and how its elements behave: the skin and
// the progress bar pixel by pixel, configured texts shown as text, and the
// buttons' hover.
#include "tests/app/page/PageTestSupport.h"

#include "tests/support/PixelSurface.h"
#include "tests/support/Screenshot.h"
#include "ui/SomSkin.h"
#include "tests/support/TestSupport.h"

#include <set>

using namespace testing_support;

namespace {

const COLORREF kColourKey = RGB(0, 255, 255);
const RECT kBar = {87, 342, 87 + 420, 342 + 17};

bool Inside(const RECT& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

// The whole text of a text element, its runs joined.
std::wstring TextOf(const CSomTextWnd& text) {
    std::wstring joined;
    for (const CSomTextWnd::Run& run : text.GetRuns()) joined += run.text;
    return joined;
}

}  // namespace

class PageLookTest : public PageTest {
protected:
    // The page's client area as WM_PRINTCLIENT paints it; the web pane is a
    // child window and not part of it.
    void Print(PixelSurface& surface) {
        Page().SendMessage(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(surface.dc()), PRF_CLIENT);
    }

    std::vector<const CSomTextWnd*> Texts() {
        std::vector<const CSomTextWnd*> texts;
        for (CSomWnd* element : Page().GetElements()) {
            if (const auto* text = dynamic_cast<const CSomTextWnd*>(element)) texts.push_back(text);
        }
        return texts;
    }
};

TEST_F(PageLookTest, TheProgressFillCoversTheBarsFullHeight) {
    OpenPage();
    Page().SetCompanionChoice(false);
    StartInFolder();
    Game()->info.totalBytes = 1000;
    Game()->info.completedBytes = 500;
    Game()->info.serverSpeed = 2048;
    Polls(1);
    ASSERT_EQ(50, Page().ProgressPosition());

    PixelSurface page(CDLDlg::kWidth, CDLDlg::kHeight);
    Print(page);
    page.SavePng(ScreenshotFile(L"page-progress-50"));
    // Between its rounded ends the fill is the image's opaque column beside
    // the end, stretched: every row of the bar shows it.
    CSomBitmap fill(IDR_PNG_PROGRESS_FILL, 1);
    PixelSurface image(fill.GetFrameWidth(), fill.GetHeight());
    fill.Draw(image.dc(), 0, 0, 0);
    for (int x : {kBar.left + 120, kBar.left + 180}) {
        for (int y = 0; y < 17; ++y) {
            EXPECT_EQ(image.At(9, y), page.At(x, kBar.top + y)) << "column " << x << ", row " << y;
        }
    }
    // Beyond the fill the track shows, not the fill.
    EXPECT_NE(image.At(9, 8), page.At(kBar.left + 300, kBar.top + 8));
}

TEST_F(PageLookTest, TheBackgroundIsTheSkinPixelForPixel) {
    OpenPage();
    PixelSurface page(CDLDlg::kWidth, CDLDlg::kHeight, RGB(1, 2, 3));
    Print(page);
    page.SavePng(ScreenshotFile(L"page-skin"));
    CSomBitmap skin(IDR_PNG_PAGE_BACKGROUND, 1);
    ASSERT_EQ(680, skin.GetFrameWidth());
    PixelSurface image(skin.GetFrameWidth(), skin.GetHeight());
    skin.Draw(image.dc(), 0, 0, 0);

    std::vector<RECT> elements;
    for (CSomWnd* element : Page().GetElements()) {
        if (element->IsVisible()) elements.push_back(element->GetRect());
    }
    int differing = 0;
    int keyDiffering = 0;
    std::string first;
    for (int y = 0; y < CDLDlg::kHeight; ++y) {
        for (int x = 0; x < CDLDlg::kWidth; ++x) {
            bool covered = false;
            for (const RECT& r : elements) covered = covered || Inside(r, x, y);
            if (covered) continue;
            const COLORREF expected = image.At(x, y);
            if (page.At(x, y) == expected) continue;
            ++differing;
            if (expected == kColourKey) ++keyDiffering;
            if (first.empty()) first = std::to_string(x) + "," + std::to_string(y);
        }
    }
    EXPECT_EQ(0, differing) << "background pixels unlike the skin's, the first at " << first;
    EXPECT_EQ(0, keyDiffering) << "pixels cut out by the colour key that are not exactly the key";
    // The cut-out corners and the notch along the top are the key itself.
    for (const POINT& p : std::vector<POINT>{{400, 3}, {678, 5}, {2, 418}, {676, 418}}) {
        EXPECT_EQ(kColourKey, page.At(p.x, p.y)) << p.x << "," << p.y;
    }
}

TEST_F(PageLookTest, ConfiguredTextsAreShownAsTextAndCommandNothing) {
    const std::wstring link = L"{&#a=button:2026}{&#acolor=255}退出{&#/a}";
    PageConfig config;
    config.gameName = L"游戏" + link;
    config.promotionTitle = L"促销" + link;
    config.installTip = L"安装" + link;
    config.gameVersion = L"v1" + link;
    Configure(config);
    OpenPage();

    // The only links of the page are its own: promotion, open and change folder.
    const std::set<std::wstring> ownLinks = {L"button:19", L"button:16", L"button:15"};
    std::set<std::wstring> shown;
    for (const CSomTextWnd* text : Texts()) {
        for (const CSomTextWnd::Run& run : text->GetRuns()) {
            if (!run.link.empty()) {
                EXPECT_EQ(1u, ownLinks.count(run.link)) << Narrow(run.link);
            }
        }
        shown.insert(TextOf(*text));
    }
    for (const std::wstring& expected : {L"Vorla游戏下载器-" + config.gameName + L"专版", config.promotionTitle,
                                         config.installTip, config.gameVersion}) {
        EXPECT_EQ(1u, shown.count(expected)) << Narrow(expected);
    }
}

TEST_F(PageLookTest, AButtonsHoverEndsWhenThePointerHasLeftThePage) {
    OpenPage();
    // Over the start button; the page is not on screen, so the pointer is
    // never over it when the toolkit's timer looks.
    Page().SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(520 + 10, 319 + 10));
    ASSERT_NE(nullptr, Page().GetHoverElement());
    EXPECT_EQ(CDLDlg::ID_START, Page().GetHoverElement()->GetId());
    Page().SendMessage(WM_TIMER, SOM_TIMER_ID, 0);
    EXPECT_EQ(nullptr, Page().GetHoverElement()) << "the toolkit's timer reached its manager";
}
