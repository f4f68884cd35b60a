// Destroying the web view ends its event subscription and releases every
// object of the container, however the view goes and whatever it was
// doing; a view that cannot be created leaves nothing behind.
#include "tests/webview/WebViewTestSupport.h"

#include "webview/SomComObject.h"
#include "tests/support/TestSupport.h"

#include <exdispid.h>

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace {

using testing_support::PumpUntil;

const RECT kPane{20, 56, 660, 301};

struct LifetimeCase {
    const char* name;
    std::wstring address;
    bool deleteObject;  // the owner goes (the page's destruction) instead of the window alone
};

TEST(ViewLifetime, DestroyingTheViewUnsubscribesAndReleasesTheContainer) {
    const LifetimeCase cases[] = {
        {"nothing loaded, window destroyed", L"", false},
        {"blank page, owner deleted", L"about:blank", true},
        {"portal page still loading, window destroyed",
         std::wstring(testing_support::kPortalBase) + L"/promo/7223.html", false},
    };
    for (const LifetimeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const long before = CSomComObject::LiveObjects();
        TestParent parent;
        auto view = std::make_unique<RecordingView>();
        ASSERT_NE(nullptr, view->Create(nullptr, c.address.c_str(), parent, kPane, 0, 0, 0, nullptr,
                                        CWebPane::kDocHostFlags));
        EXPECT_TRUE(view->IsSubscribed());
        // Site, frame and event sink.
        EXPECT_EQ(before + 3, CSomComObject::LiveObjects());

        // Hold the control and the sink beyond the view, to look at them after.
        ScopedComPtr<IWebBrowser2> browser = view->GetBrowser();
        ASSERT_TRUE(browser);
        ScopedComPtr<IDispatch> sink(view->GetEventSink());

        if (c.deleteObject) {
            view.reset();
        } else {
            EXPECT_TRUE(view->Destroy());
            EXPECT_FALSE(view->IsSubscribed());
        }

        // An event that arrives late reaches nobody.
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        sink->Invoke(DISPID_NAVIGATEERROR, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr,
                     nullptr);
        MSG msg;
        EXPECT_FALSE(::PeekMessageW(&msg, parent, WM_WEB_FALLBACK, WM_WEB_FALLBACK, PM_NOREMOVE));

        // The control lives on (held here), yet nothing of ours is left: it
        // has dropped the subscription's sink and its site. A transfer still
        // under way may hold the site until it ends.
        sink.Reset();
        EXPECT_TRUE(PumpUntil([&] { return CSomComObject::LiveObjects() == before; }, 20000))
            << CSomComObject::LiveObjects() - before << " objects still alive";
        browser.Reset();
    }
}

TEST(ViewLifetime, AViewWhoseControlCannotBeCreatedLeavesNothingBehind) {
    // A thread without COM cannot create the control: the window is not
    // created either, and the site made for it is released.
    const long before = CSomComObject::LiveObjects();
    HWND created = reinterpret_cast<HWND>(1);
    bool subscribed = true;
    std::thread worker([&] {
        RecordingView view;
        created = view.Create(nullptr, L"about:blank", nullptr, kPane, WS_POPUP, 0, 0, nullptr,
                              CWebPane::kDocHostFlags);
        subscribed = view.IsSubscribed();
    });
    worker.join();
    EXPECT_EQ(nullptr, created);
    EXPECT_FALSE(subscribed);
    EXPECT_EQ(before, CSomComObject::LiveObjects());
}

}  // namespace
