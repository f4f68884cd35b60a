// The pane as the download page uses it, with the real browser control and
// the portal on loopback: the configured page is requested and, since the
// control here cannot show it, the fallback panel takes the view's place
// after the posted WM_WEB_FALLBACK; without a page or network the panel
// shows at once and nothing is requested; no dialog ever appears.
#include "tests/webview/WebViewTestSupport.h"

#include "tests/support/PixelSurface.h"
#include "tests/support/Screenshot.h"
#include "ui/SomBitmap.h"
#include "ui/SomSkin.h"
#include "tests/support/TestSupport.h"


#include <gtest/gtest.h>

#include <cstdio>

namespace {

using testing_support::CountLinesContaining;
using testing_support::kPortalBase;
using testing_support::PortalLogPath;
using testing_support::PumpUntil;
using testing_support::ReadLines;

const RECT kPane{20, 56, 660, 301};

// Generous: only a broken pane waits this long.
const DWORD kSettleMs = 60000;

std::string ForeignWindowList() {
    std::string text;
    for (const std::wstring& window : ForeignWindows()) text += testing_support::Narrow(window) + "; ";
    return text;
}

bool IsBusy(IWebBrowser2* browser) {
    VARIANT_BOOL busy = VARIANT_TRUE;
    return FAILED(browser->get_Busy(&busy)) || busy != VARIANT_FALSE;
}

struct FailingPage {
    const char* name;
    std::wstring link;
    const char* request;  // the line nginx logs for it, or null when nginx never sees it
};

TEST(WebPane, APageThatCannotBeShownGivesWayToThePanel) {
    const std::wstring portal(kPortalBase);
    const FailingPage pages[] = {
        {"the portal's promotional page", portal + L"/promo/7223.html", "GET /promo/7223.html 200"},
        {"a page the portal does not have", portal + L"/promo/gone.html", "GET /promo/gone.html 404"},
        {"nothing listens on the port", L"http://127.0.0.1:1/promo.html", nullptr},
    };
    for (const FailingPage& page : pages) {
        SCOPED_TRACE(page.name);
        const size_t logFrom = ReadLines(PortalLogPath()).size();
        TestParent parent;
        CWebPane pane;
        parent.pane = &pane;
        ASSERT_TRUE(pane.Create(parent, kPane, page.link, true));
        EventRecorder events(pane.View().GetBrowser().Get());
        EXPECT_TRUE(events.Subscribed());
        EXPECT_TRUE(pane.IsViewVisible());
        EXPECT_EQ(nullptr, pane.Panel());  // made only when it is needed

        ASSERT_TRUE(PumpUntil([&] { return pane.IsPanelVisible(); }, kSettleMs)) << events.Describe();
        EXPECT_FALSE(pane.IsViewVisible());
        EXPECT_GE(parent.fallbacks, 1);
        if (page.request) {
            EXPECT_TRUE(PumpUntil([&] { return CountLinesContaining(PortalLogPath(), page.request, logFrom) > 0; },
                                  10000))
                << "nginx did not log \"" << page.request << "\"";
        }
        EXPECT_EQ("", ForeignWindowList());
        std::printf("[ webview  ] %s: %s\n", page.name, events.Describe().c_str());
    }
}

struct NoPage {
    const char* name;
    std::wstring link;
    bool online;
};

TEST(WebPane, WithoutAPageOrNetworkThePanelShowsAtOnceAndNothingIsRequested) {
    const NoPage cases[] = {
        {"no page configured", L"", true},
        {"network down", std::wstring(kPortalBase) + L"/promo/7223.html", false},
    };
    for (const NoPage& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t logFrom = ReadLines(PortalLogPath()).size();
        TestParent parent;
        CWebPane pane;
        parent.pane = &pane;
        ASSERT_TRUE(pane.Create(parent, kPane, c.link, c.online));
        EXPECT_TRUE(pane.IsPanelVisible());
        EXPECT_FALSE(pane.IsViewVisible());
        CDefaultWebWnd* const panel = pane.Panel();

        // Let the blank page settle (here it fails at once, inside Create).
        ScopedComPtr<IWebBrowser2> browser = pane.View().GetBrowser();
        ASSERT_TRUE(browser);
        EXPECT_TRUE(PumpUntil([&] { return !IsBusy(browser.Get()); }, 10000));
        PumpUntil([] { return false; }, 200);
        EXPECT_EQ(0u, CountLinesContaining(PortalLogPath(), "/promo/", logFrom));

        // Any later failure keeps the one panel.
        parent.PostMessage(WM_WEB_FALLBACK);
        const int before = parent.fallbacks;
        PumpUntil([&] { return parent.fallbacks > before; }, 5000);
        EXPECT_EQ(panel, pane.Panel());
        EXPECT_TRUE(pane.IsPanelVisible());
        EXPECT_FALSE(pane.IsViewVisible());
        EXPECT_EQ("", ForeignWindowList());
    }
}

TEST(WebPane, ThePanelShowsTheBannerOverThePaneAndIsSaved) {
    TestParent parent;
    CWebPane pane;
    parent.pane = &pane;
    ASSERT_TRUE(pane.Create(parent, kPane, L"", true));
    ASSERT_TRUE(pane.IsPanelVisible());
    ::UpdateWindow(parent);
    ::UpdateWindow(*pane.Panel());
    PumpUntil([] { return false; }, 300);
    EXPECT_TRUE(SaveWindowScreenshot(parent, L"web-pane-panel"));

    // What the screen shows of the pane is the banner at that size.
    const int w = kPane.right - kPane.left;
    const int h = kPane.bottom - kPane.top;
    PixelSurface shown(w, h, RGB(255, 0, 255));
    {
        HDC window = ::GetDC(parent);
        ::BitBlt(shown.dc(), 0, 0, w, h, window, kPane.left, kPane.top, SRCCOPY);
        ::ReleaseDC(parent, window);
    }
    PixelSurface banner(w, h, RGB(255, 0, 255));
    CSomBitmap image(IDR_PNG_FALLBACK_PANEL, 1);
    image.DrawStretched(banner.dc(), 0, 0, w, h, 0);
    ASSERT_NE(RGB(255, 0, 255), banner.At(w / 2, h / 2));
    const POINT probes[] = {{1, 1}, {w - 2, 1}, {w / 2, h / 2}, {1, h - 2}, {w - 2, h - 2}, {w / 3, 100}};
    for (const POINT& p : probes) {
        EXPECT_EQ(banner.At(p.x, p.y), shown.At(p.x, p.y)) << "at " << p.x << "," << p.y;
    }
}

}  // namespace
