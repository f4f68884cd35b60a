#include "webview/SomHtmlView.h"

#include "system/ShellServices.h"

#include <new>

CSomHtmlView::~CSomHtmlView() {
    // While the subscription can still be ended by this object.
    if (m_hWnd) DestroyWindow();
}

BOOL CSomHtmlView::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    switch (msg) {
        case WM_CREATE: {
            const BOOL handled = CSomHtmlWnd::ProcessWindowMessage(hwnd, msg, wp, lp, result);
            if (result != -1) Subscribe();
            return handled;
        }
        case WM_DESTROY:
            Unsubscribe();
            return CSomHtmlWnd::ProcessWindowMessage(hwnd, msg, wp, lp, result);
        default:
            return CSomHtmlWnd::ProcessWindowMessage(hwnd, msg, wp, lp, result);
    }
}

void CSomHtmlView::Subscribe() {
    ScopedComPtr<IWebBrowser2> browser = GetBrowser();
    if (!browser || events_) return;
    events_.Attach(new (std::nothrow) CSomBrowserEvents(this));
    if (events_) events_->Advise(browser.Get());
}

void CSomHtmlView::Unsubscribe() {
    if (!events_) return;
    events_->Detach();
    events_->Unadvise();
    events_.Reset();
}

bool CSomHtmlView::OnNewWindow3(const std::wstring& url) {
    OpenInBrowser(url);
    return true;  // the control never opens a window of its own
}

void CSomHtmlView::OnNavigateError(const std::wstring&, long) {
    // Posted: the page switches to its panel after the control's event has
    // returned, never inside it.
    const HWND parent = ::GetParent(m_hWnd);
    if (parent && ::IsWindow(parent)) ::PostMessageW(parent, WM_WEB_FALLBACK, 0, 0);
}

bool CSomHtmlView::OpenInBrowser(const std::wstring& url) { return OpenUrl(url); }
