// Shared pieces of the web pane tests: a parent window that records the
// fallback messages it receives and can answer them with a pane, a view
// whose browser seam records addresses instead of starting a browser, a
// recorder subscribed to the control's events, and the check that no
// dialog is on the screen.
#pragma once

#include "base/ScopedComPtr.h"
#include "webview/SomHtmlView.h"
#include "webview/WebPane.h"
#include "winlayer/WindowImpl.h"

#include <windows.h>

#include <string>
#include <vector>

// The page's stand-in: a visible pop-up the size of the download page at
// the screen's corner, or a framed window away from it.
class TestParent : public CWindowImplBase {
public:
    explicit TestParent(bool framed = false);
    ~TestParent() override;

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

    // WM_WEB_FALLBACK received so far, and their parameters.
    int fallbacks = 0;
    std::vector<std::pair<WPARAM, LPARAM>> fallbackParams;
    // When set, WM_WEB_FALLBACK is answered as the page answers it.
    CWebPane* pane = nullptr;
};

// A view whose new-window requests are recorded, not opened.
class RecordingView : public CSomHtmlView {
public:
    std::vector<std::wstring> opened;

protected:
    bool OpenInBrowser(const std::wstring& url) override {
        opened.push_back(url);
        return true;
    }
};

// Subscribes to a browser's events beside the view and keeps what came:
// the dispatch ids, and the address and status of every navigation error.
class EventRecorder {
public:
    explicit EventRecorder(IWebBrowser2* browser);
    ~EventRecorder();

    bool Subscribed() const { return cookie_ != 0; }
    bool Saw(DISPID id) const;
    // Ids in arrival order, and "url -> 0x<status>" per navigation error.
    std::string Describe() const;

    std::vector<DISPID> ids;
    std::vector<std::pair<std::wstring, long>> errors;

private:
    class Sink;
    Sink* sink_ = nullptr;  // owned reference
    ScopedComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

// Visible top-level windows on the desktop that are dialogs (class #32770)
// or belong to another process, e.g. an installer offer from the platform.
std::vector<std::wstring> ForeignWindows();

// Builds the arguments the control passes with an event (last first).
VARIANT BoolRef(VARIANT_BOOL* flag);
VARIANT DispatchRef(IDispatch** dispatch);
VARIANT VariantRef(VARIANT* inner);
