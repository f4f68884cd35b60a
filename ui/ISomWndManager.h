// What an element sees of the host window that manages it.
#pragma once

#include <windows.h>

class CSomWnd;

// Timer of every manager: hover-leave check and element ticks.
constexpr UINT_PTR SOM_TIMER_ID = 54321;
constexpr UINT SOM_TIMER_INTERVAL_MS = 100;

class ISomWndManager {
public:
    // Appends the element (list order is z-order, first is topmost); no
    // duplicate check.
    virtual bool AddElement(CSomWnd* element) = 0;
    virtual bool RemoveElement(CSomWnd* element) = 0;
    virtual void CaptureMouse(CSomWnd* element) = 0;
    virtual void ReleaseMouse(CSomWnd* element) = 0;
    virtual LRESULT SendMsg(UINT msg, WPARAM wp, LPARAM lp) = 0;
    // WM_COMMAND to the host: low word id, high word code, lParam the element.
    virtual LRESULT SendCommand(CSomWnd* element, UINT code, UINT id) = 0;
    virtual bool PostMsg(UINT msg, WPARAM wp, LPARAM lp) = 0;
    virtual void SetElementRect(CSomWnd* element, int x, int y, int cx, int cy) = 0;
    virtual void SetElementSize(CSomWnd* element, int cx, int cy) = 0;
    virtual void SetElementPos(CSomWnd* element, int x, int y) = 0;
    virtual void InvalidateElement(CSomWnd* element, const RECT* subRect, bool force, int part) = 0;
    virtual int AddToolTip(CSomWnd* element, int key, const RECT* rect) = 0;
    virtual void RemoveToolTips(CSomWnd* element) = 0;
    virtual void BeginUpdate() = 0;
    virtual void EndUpdate() = 0;
    virtual void DrawBackground(HDC dc, const RECT* rect) = 0;
    virtual void DrawElements(HDC dc, const RECT* rect) = 0;

protected:
    ~ISomWndManager() = default;
};
