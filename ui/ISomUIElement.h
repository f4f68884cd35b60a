// An element that is a real child window (the web view), placed and shown
// in its parent window's client coordinates.
#pragma once

#include <windows.h>

class ISomUIElement {
public:
    virtual ~ISomUIElement() = default;
    // The window's client rectangle.
    virtual void GetClientArea(RECT& rect) = 0;
    // The window's rectangle in its parent's client coordinates; screen
    // coordinates when it has no parent window.
    virtual void GetRect(RECT& rect) = 0;
    // Move and resize; the z-order is kept.
    virtual void SetRect(int x, int y, int cx, int cy) = 0;
    virtual void SetSize(int cx, int cy) = 0;
    virtual void SetPos(int x, int y) = 0;
    virtual bool Destroy() = 0;
    // SW_SHOWNORMAL or SW_HIDE.
    virtual void Show(bool show) = 0;
};
