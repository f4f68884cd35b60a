#include "webview/WebPane.h"

#include <ole2.h>

#include <new>

namespace {

bool HasVisibleStyle(HWND window) {
    return window && ::IsWindow(window) && (::GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

}  // namespace

bool CWebPane::Create(HWND parent, const RECT& rect, const std::wstring& embedLink, bool online) {
    // The browser control wants OLE on its thread (drag and drop, the
    // clipboard), not only COM. Once per thread; it lasts until the end.
    static thread_local const bool oleReady = SUCCEEDED(::OleInitialize(nullptr));
    (void)oleReady;
    parent_ = parent;
    rect_ = rect;
    const bool created =
        view_.Create(nullptr, L"about:blank", parent, rect, 0, 0, 0, nullptr, kDocHostFlags) != nullptr;
    if (created && online && !embedLink.empty()) {
        view_.Navigate(embedLink.c_str());
        view_.Show(true);
    } else {
        if (created) view_.Show(false);
        ShowPanel();
    }
    return created;
}

void CWebPane::OnWebFallback() {
    if (view_.m_hWnd) view_.Show(false);
    ShowPanel();
}

bool CWebPane::IsViewVisible() const { return HasVisibleStyle(view_.m_hWnd); }

bool CWebPane::IsPanelVisible() const { return panel_ && HasVisibleStyle(panel_->m_hWnd); }

void CWebPane::ShowPanel() {
    if (!panel_) {
        // Called from the page's window procedure: no exception may leave it.
        panel_.reset(new (std::nothrow) CDefaultWebWnd());
        if (!panel_) return;
        panel_->Create(parent_, rect_, nullptr, WS_CHILD | WS_VISIBLE);
    }
    if (panel_->m_hWnd) panel_->ShowWindow(SW_SHOW);
}
