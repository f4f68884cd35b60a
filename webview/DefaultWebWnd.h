// The fallback panel in place of the web view: a plain skinned child window
// showing the promotional banner (PNG resource 123) stretched over its
// client area. It has no elements; a click on it does nothing.
#pragma once

#include "ui/SomBitmap.h"
#include "ui/SomWndManager.h"
#include "winlayer/WindowImpl.h"

class CDefaultWebWnd : public CWindowImplBase, public CSomWndManager {
public:
    CDefaultWebWnd();
    ~CDefaultWebWnd() override;

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    void DrawBackground(HDC dc, const RECT* rect) override;

    CSomBitmap& GetImage() { return image_; }

private:
    CSomBitmap image_;
};
