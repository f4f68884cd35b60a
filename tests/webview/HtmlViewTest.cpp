// The web view with the real browser control: its event handling (driven
// with the arguments the control passes), the settings its site gives the
// page engine, its geometry, and that destroying it ends the subscription
// and releases every object of the container.
#include "tests/webview/WebViewTestSupport.h"

#include "tests/support/TestSupport.h"

#include <exdispid.h>
#include <mshtmhst.h>

#include <gtest/gtest.h>

namespace {

using testing_support::PumpUntil;

const RECT kPane{20, 56, 660, 301};

// Creates the view without loading anything, so no event of the control's
// own arrives while a test raises its events.
HWND CreateQuietView(CSomHtmlView& view, HWND parent) {
    return view.Create(nullptr, L"", parent, kPane, 0, 0, 0, nullptr, CWebPane::kDocHostFlags);
}

HRESULT Raise(IDispatch* sink, DISPID id, VARIANT* args, UINT count) {
    DISPPARAMS params{args, nullptr, count, 0};
    return sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

// NewWindow3(ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl)
HRESULT RaiseNewWindow3(IDispatch* sink, const std::wstring& url, VARIANT_BOOL* cancel) {
    IDispatch* newWindow = nullptr;
    VARIANT args[5];
    args[4] = DispatchRef(&newWindow);
    args[3] = BoolRef(cancel);
    ::VariantInit(&args[2]);
    V_VT(&args[2]) = VT_UI4;
    V_UI4(&args[2]) = 0x2;  // NWMF_USERINITED: a click on a link
    ::VariantInit(&args[1]);
    V_VT(&args[1]) = VT_BSTR;
    V_BSTR(&args[1]) = ::SysAllocString(L"http://127.0.0.1:17223/promo/7223.html");
    ::VariantInit(&args[0]);
    V_VT(&args[0]) = VT_BSTR;
    V_BSTR(&args[0]) = ::SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
    const HRESULT hr = Raise(sink, DISPID_NEWWINDOW3, args, 5);
    ::VariantClear(&args[0]);
    ::VariantClear(&args[1]);
    return hr;
}

// NavigateError(pDisp, URL, TargetFrameName, StatusCode, Cancel)
HRESULT RaiseNavigateError(IDispatch* sink, const wchar_t* url, long status) {
    VARIANT address, frame, code;
    ::VariantInit(&address);
    V_VT(&address) = VT_BSTR;
    V_BSTR(&address) = ::SysAllocString(url);
    ::VariantInit(&frame);
    V_VT(&frame) = VT_BSTR;
    V_BSTR(&frame) = ::SysAllocString(L"");
    ::VariantInit(&code);
    V_VT(&code) = VT_I4;
    V_I4(&code) = status;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT args[5];
    ::VariantInit(&args[4]);
    V_VT(&args[4]) = VT_DISPATCH;
    V_DISPATCH(&args[4]) = nullptr;
    args[3] = VariantRef(&address);
    args[2] = VariantRef(&frame);
    args[1] = VariantRef(&code);
    args[0] = BoolRef(&cancel);
    const HRESULT hr = Raise(sink, DISPID_NAVIGATEERROR, args, 5);
    ::VariantClear(&address);
    ::VariantClear(&frame);
    return hr;
}

bool FallbackQueued(HWND parent) {
    MSG msg;
    return ::PeekMessageW(&msg, parent, WM_WEB_FALLBACK, WM_WEB_FALLBACK, PM_NOREMOVE) != FALSE;
}

TEST(HtmlView, NewWindowRequestsOpenInTheUsersBrowserAndTheControlsWindowIsCancelled) {
    TestParent parent;
    RecordingView view;
    ASSERT_NE(nullptr, CreateQuietView(view, parent));
    const std::wstring urls[] = {L"http://127.0.0.1:17223/forum.html",
                                 L"https://portal.example/活动?id=7&from=pane",
                                 L"javascript:window.open()"};  // refused by the real opener, still cancelled
    for (const std::wstring& url : urls) {
        SCOPED_TRACE(testing_support::Narrow(url));
        VARIANT_BOOL cancel = VARIANT_FALSE;
        EXPECT_EQ(S_OK, RaiseNewWindow3(view.GetEventSink(), url, &cancel));
        EXPECT_EQ(VARIANT_TRUE, cancel);
        ASSERT_FALSE(view.opened.empty());
        EXPECT_EQ(url, view.opened.back());
    }
    EXPECT_EQ(3u, view.opened.size());
    // The pane keeps its page.
    EXPECT_TRUE(::IsWindowVisible(view));
    EXPECT_FALSE(FallbackQueued(parent));
}

TEST(HtmlView, NavigationErrorIsPostedToTheParentNotSent) {
    TestParent parent;
    RecordingView view;
    ASSERT_NE(nullptr, CreateQuietView(view, parent));

    // The events the view ignores post nothing and open nothing.
    VARIANT none;
    ::VariantInit(&none);
    EXPECT_EQ(S_OK, Raise(view.GetEventSink(), DISPID_BEFORENAVIGATE2, &none, 0));
    EXPECT_EQ(S_OK, Raise(view.GetEventSink(), DISPID_COMMANDSTATECHANGE, &none, 0));
    EXPECT_FALSE(FallbackQueued(parent));

    EXPECT_EQ(S_OK, RaiseNavigateError(view.GetEventSink(), L"http://127.0.0.1:1/", 0x800C0008L));
    // Not delivered inside the control's event, but waiting in the queue.
    EXPECT_EQ(0, parent.fallbacks);
    EXPECT_TRUE(FallbackQueued(parent));
    EXPECT_TRUE(PumpUntil([&] { return parent.fallbacks > 0; }, 5000));
    ASSERT_EQ(1, parent.fallbacks);
    EXPECT_EQ(0u, parent.fallbackParams[0].first);
    EXPECT_EQ(0, parent.fallbackParams[0].second);
    EXPECT_TRUE(view.opened.empty());
}

TEST(HtmlView, TheControlsSiteAsksForNoBordersScrollBarsOrContextMenu) {
    TestParent parent;
    RecordingView view;
    ASSERT_NE(nullptr, CreateQuietView(view, parent));
    // Ask the way the page engine asks: the control's client site.
    ScopedComPtr<IWebBrowser2> browser = view.GetBrowser();
    ScopedComPtr<IOleObject> object;
    ASSERT_TRUE(browser.QueryInto(IID_IOleObject, object));
    ScopedComPtr<IOleClientSite> site;
    ASSERT_EQ(S_OK, object->GetClientSite(site.Receive()));
    ScopedComPtr<IDocHostUIHandler> handler;
    ASSERT_TRUE(site.QueryInto(IID_IDocHostUIHandler, handler));

    DOCHOSTUIINFO info{};
    info.cbSize = sizeof(info);
    ASSERT_EQ(S_OK, handler->GetHostInfo(&info));
    EXPECT_EQ(0x0024009Fu, info.dwFlags);
    EXPECT_TRUE(info.dwFlags & DOCHOSTUIFLAG_SCROLL_NO);
    EXPECT_TRUE(info.dwFlags & DOCHOSTUIFLAG_NO3DOUTERBORDER);
    POINT pt{10, 10};
    EXPECT_EQ(S_OK, handler->ShowContextMenu(CONTEXT_MENU_DEFAULT, &pt, nullptr, nullptr));  // shown: none
    IDispatch* external = reinterpret_cast<IDispatch*>(1);
    handler->GetExternal(&external);
    EXPECT_EQ(nullptr, external);

    ScopedComPtr<IOleInPlaceSite> inPlace;
    ASSERT_TRUE(site.QueryInto(IID_IOleInPlaceSite, inPlace));
    HWND window = nullptr;
    EXPECT_EQ(S_OK, inPlace->GetWindow(&window));
    EXPECT_EQ(view.m_hWnd, window);
    VARIANT_BOOL silent = VARIANT_FALSE;
    EXPECT_EQ(S_OK, browser->get_Silent(&silent));
    EXPECT_EQ(VARIANT_TRUE, silent);
}

TEST(HtmlView, PlacementIsInTheParentsClientCoordinates) {
    // A framed parent away from the screen's corner: client and window
    // coordinates differ.
    TestParent parent(true);
    RecordingView view;
    ASSERT_NE(nullptr, CreateQuietView(view, parent));
    RECT r{};
    view.GetRect(r);
    EXPECT_EQ(kPane.left, r.left);
    EXPECT_EQ(kPane.top, r.top);
    EXPECT_EQ(kPane.right, r.right);
    EXPECT_EQ(kPane.bottom, r.bottom);
    view.SetRect(30, 40, 200, 100);
    view.GetRect(r);
    EXPECT_EQ(30, r.left);
    EXPECT_EQ(40, r.top);
    EXPECT_EQ(230, r.right);
    EXPECT_EQ(140, r.bottom);
    view.SetPos(5, 6);
    view.SetSize(50, 60);
    view.GetRect(r);
    EXPECT_EQ(5, r.left);
    EXPECT_EQ(6, r.top);
    EXPECT_EQ(55, r.right);
    EXPECT_EQ(66, r.bottom);
    view.GetClientArea(r);
    EXPECT_EQ(50, r.right);
    EXPECT_EQ(60, r.bottom);
    // The control follows: its window fills the view's client area.
    const HWND control = ::GetWindow(view, GW_CHILD);
    ASSERT_NE(nullptr, control);
    ::GetWindowRect(control, &r);
    EXPECT_EQ(50, r.right - r.left);
    EXPECT_EQ(60, r.bottom - r.top);
    view.Show(false);
    EXPECT_FALSE(::IsWindowVisible(view));
    view.Show(true);
    EXPECT_TRUE(::IsWindowVisible(view));
    EXPECT_TRUE(view.Destroy());
    EXPECT_EQ(nullptr, view.m_hWnd);
}

}  // namespace
