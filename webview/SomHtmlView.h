// The web view of the download page: a browser window that subscribes to
// the control's events. A page asking for a new window has its address
// opened in the user's browser instead; a page that fails to load makes the
// view post WM_WEB_FALLBACK to its parent, which shows its fallback panel.
#pragma once

#include "base/ScopedComPtr.h"
#include "webview/SomBrowserEvents.h"
#include "webview/SomHtmlWnd.h"

#include <string>

// Posted (never sent) by the view to its parent when navigation fails;
// wParam and lParam are 0.
constexpr UINT WM_WEB_FALLBACK = 0x0CA0;  // 3232

class CSomHtmlView : public CSomHtmlWnd, protected CSomBrowserEvents::IHandler {
public:
    CSomHtmlView() = default;
    ~CSomHtmlView() override;

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

    // The event subscription while the window exists (null before and
    // after); tests raise events through it.
    IDispatch* GetEventSink() const { return events_.Get(); }
    bool IsSubscribed() const { return events_ && events_->IsAdvised(); }

protected:
    bool OnNewWindow3(const std::wstring& url) override;
    void OnNavigateError(const std::wstring& url, long status) override;

    // Opens url in the user's browser; a seam so tests need no browser.
    virtual bool OpenInBrowser(const std::wstring& url);

private:
    void Subscribe();
    void Unsubscribe();

    ScopedComPtr<CSomBrowserEvents> events_;
};
