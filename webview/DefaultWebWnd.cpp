#include "webview/DefaultWebWnd.h"

#include "ui/SomSkin.h"

CDefaultWebWnd::CDefaultWebWnd() : image_(IDR_PNG_FALLBACK_PANEL, 1) {}

CDefaultWebWnd::~CDefaultWebWnd() {
    if (m_hWnd) DestroyWindow();
}

BOOL CDefaultWebWnd::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    return CSomWndManager::ProcessWindowMessage(hwnd, msg, wp, lp, result);
}

void CDefaultWebWnd::DrawBackground(HDC dc, const RECT*) {
    // The whole banner over the whole panel; the clip region limits it.
    RECT client{};
    GetClientRect(&client);
    image_.DrawStretched(dc, 0, 0, client.right, client.bottom, 0);
}
