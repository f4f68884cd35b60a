// The element manager: the host window of windowless elements derives from
// its platform window class and from CSomWndManager, and passes every
// message it does not handle to ProcessWindowMessage. The manager keeps the
// element list (z-order, first is topmost), hit-tests the mouse, tracks the
// hover and capture elements, paints elements over the host's background
// without flicker and turns clicks into WM_COMMAND to the host.
#pragma once

#include "ui/ISomWndManager.h"
#include "ui/SomToolTipAdpater.h"

#include <windows.h>

#include <vector>

class CSomWnd;

class CSomWndManager : public ISomWndManager {
public:
    CSomWndManager() = default;
    CSomWndManager(const CSomWndManager&) = delete;
    CSomWndManager& operator=(const CSomWndManager&) = delete;
    virtual ~CSomWndManager() = default;

    // The host's fallback message entry. Deliberately not virtual: a host
    // that also derives from a window class with a same-named table must not
    // override this one by accident.
    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

    bool AddElement(CSomWnd* element) override;
    bool RemoveElement(CSomWnd* element) override;
    void CaptureMouse(CSomWnd* element) override;
    void ReleaseMouse(CSomWnd* element) override;
    LRESULT SendMsg(UINT msg, WPARAM wp, LPARAM lp) override;
    LRESULT SendCommand(CSomWnd* element, UINT code, UINT id) override;
    bool PostMsg(UINT msg, WPARAM wp, LPARAM lp) override;
    void SetElementRect(CSomWnd* element, int x, int y, int cx, int cy) override;
    void SetElementSize(CSomWnd* element, int cx, int cy) override;
    void SetElementPos(CSomWnd* element, int x, int y) override;
    void InvalidateElement(CSomWnd* element, const RECT* subRect, bool force, int part) override;
    int AddToolTip(CSomWnd* element, int key, const RECT* rect) override;
    void RemoveToolTips(CSomWnd* element) override;
    void BeginUpdate() override { immediatePaint_ = false; }
    void EndUpdate() override;
    // Fills rect (the clip box when null) with the host class's brush; hosts
    // override it to paint their skin.
    void DrawBackground(HDC dc, const RECT* rect) override;
    void DrawElements(HDC dc, const RECT* rect) override;

    HWND GetHostWindow() const { return host_; }
    CSomWnd* GetCaptureElement() const { return capture_; }
    CSomWnd* GetHoverElement() const { return hover_; }
    const std::vector<CSomWnd*>& GetElements() const { return elements_; }
    bool IsRedrawAllowed() const { return redrawAllowed_; }
    bool IsImmediatePainting() const { return immediatePaint_; }
    CSomToolTipAdpater& ToolTips() { return toolTips_; }

    // First visible, enabled element whose rect holds the client point.
    CSomWnd* HitTest(POINT pt) const;

protected:
    // Where the pointer is and which window lies under it; a seam for tests,
    // which cannot move a real pointer.
    virtual POINT GetCursorScreenPos() const;
    virtual HWND GetWindowAtScreenPos(POINT pt) const;

private:
    using ButtonHandler = int (CSomWnd::*)(POINT);

    BOOL OnMouseMove(LPARAM lp, LRESULT& result);
    BOOL OnButton(ButtonHandler handler, LPARAM lp, LRESULT& result);
    BOOL OnSetCursor(LRESULT& result);
    void OnSomTimer();
    void OnPaint(HDC given);
    void Teardown();
    // Paints one element onto dc (its background first when asked), then
    // excludes its rect from dc's clip region when exclude is set.
    void PaintElement(HDC dc, CSomWnd* element, bool draw, bool background, bool exclude, int part);

    CSomToolTipAdpater toolTips_;
    bool redrawAllowed_ = true;
    bool immediatePaint_ = true;
    HWND host_ = nullptr;
    HWND retired_ = nullptr;  // the window torn down last; never attached again
    std::vector<CSomWnd*> elements_;  // not owned
    CSomWnd* capture_ = nullptr;
    CSomWnd* hover_ = nullptr;
};
