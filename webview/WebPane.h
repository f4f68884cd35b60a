// The download page's promotional pane: the web view showing the configured
// page, or the fallback panel in the same place when there is no page to
// show, the view could not be created, or loading the page failed.
#pragma once

#include "webview/DefaultWebWnd.h"
#include "webview/SomHtmlView.h"

#include <windows.h>

#include <memory>
#include <string>

class CWebPane {
public:
    // No borders, scroll bars or help menu, themed controls, scripts
    // stopped while inactive.
    static constexpr DWORD kDocHostFlags = 0x0024009F;

    CWebPane() = default;
    CWebPane(const CWebPane&) = delete;
    CWebPane& operator=(const CWebPane&) = delete;

    // Creates the view on "about:blank" in rect of parent. With the network
    // up and a page configured, loads embedLink and shows the view;
    // otherwise shows the panel instead. False when the view could not be
    // created (the panel shows then).
    bool Create(HWND parent, const RECT& rect, const std::wstring& embedLink, bool online);

    // The parent's answer to WM_WEB_FALLBACK: the panel takes the view's
    // place.
    void OnWebFallback();

    bool IsViewVisible() const;
    bool IsPanelVisible() const;
    CSomHtmlView& View() { return view_; }
    // Null until the panel is first needed.
    CDefaultWebWnd* Panel() const { return panel_.get(); }

private:
    void ShowPanel();

    HWND parent_ = nullptr;
    RECT rect_{};
    CSomHtmlView view_;
    std::unique_ptr<CDefaultWebWnd> panel_;  // owned; created the first time it is needed, once
};
