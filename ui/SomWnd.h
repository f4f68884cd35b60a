// The windowless element: a rectangle of the host window that paints itself
// and receives the mouse through its manager (ISomWndManager). Elements never
// take the keyboard focus.
#pragma once

#include <windows.h>
#include <commctrl.h>

class ISomWndManager;

// Element flags.
enum : UINT {
    SOMF_VISIBLE = 1,      // painted and hit by the mouse
    SOMF_AUTOSIZE = 2,     // sizes itself to its content
    SOMF_DISABLED = 4,     // drawn disabled, never hit
    SOMF_TRANSPARENT = 8,  // does not cover its rect: the background goes under it
};

class CSomWnd {
public:
    CSomWnd() = default;
    CSomWnd(const CSomWnd&) = delete;
    CSomWnd& operator=(const CSomWnd&) = delete;
    // An element destroyed while still in a list takes itself out, so the
    // manager never keeps a dangling pointer.
    virtual ~CSomWnd();

    // Disposes of a heap-allocated element.
    virtual void Destroy() { delete this; }
    virtual void OnCreate() {}
    virtual void OnDestroy() {}
    virtual void OnTimer() {}
    virtual void OnMove(int /*x*/, int /*y*/) {}
    virtual void OnSize(int /*cx*/, int /*cy*/) {}
    // dc's origin is the element's top-left corner. clipRight is a right-hand
    // limit in element coordinates, or -1; part 0 is the whole element.
    virtual void Draw(HDC dc, int clipRight, int part) = 0;
    virtual void OnCaptureLost() {}
    // Points are relative to the element; a non-zero result consumes the event.
    virtual int OnSetCursor(POINT /*pt*/) { return 0; }
    virtual int OnLButtonDown(POINT /*pt*/) { return 0; }
    virtual int OnLButtonUp(POINT /*pt*/) { return 0; }
    virtual int OnLButtonDblClk(POINT /*pt*/) { return 0; }
    virtual int OnMouseMove(POINT /*pt*/) { return 0; }
    virtual void OnMouseEnter(POINT /*pt*/) {}
    virtual void OnMouseLeave() {}
    virtual void OnToolTipText(int /*key*/, NMTTDISPINFOW* /*request*/) {}

    // Attaches the element to manager and adds it at the end of its list.
    void Create(ISomWndManager* manager, int x, int y, int cx, int cy, int id, UINT flags);
    void Create(ISomWndManager* manager, int x, int y, int id, UINT flags) { Create(manager, x, y, 0, 0, id, flags); }
    void Create(ISomWndManager* manager, int id, UINT flags) { Create(manager, 0, 0, 0, 0, id, flags); }

    bool IsVisible() const { return (flags_ & SOMF_VISIBLE) != 0; }
    bool IsEnabled() const { return (flags_ & SOMF_DISABLED) == 0; }
    bool IsTransparent() const { return (flags_ & SOMF_TRANSPARENT) != 0; }
    bool IsAutoSize() const { return (flags_ & SOMF_AUTOSIZE) != 0; }
    bool IsAttached() const { return manager_ != nullptr; }
    UINT GetFlags() const { return flags_; }
    int GetId() const { return id_; }
    ISomWndManager* GetManager() const { return manager_; }

    // Both return the previous state.
    bool SetVisible(bool show);
    bool Enable(bool enable);

    void SetPos(int x, int y);
    void SetSize(int cx, int cy);
    void SetRect(int x, int y, int cx, int cy);
    const RECT& GetRect() const { return rect_; }
    int GetWidth() const { return rect_.right - rect_.left; }
    int GetHeight() const { return rect_.bottom - rect_.top; }

    // Repaints all (subRect null) or part of the element; subRect is in
    // element coordinates.
    void Invalidate(const RECT* subRect, int part);

protected:
    void SetFlag(UINT flag, bool on) { flags_ = on ? (flags_ | flag) : (flags_ & ~flag); }

private:
    friend class CSomWndManager;  // stores rects and detaches at teardown
    void Detach() {
        flags_ = 0;
        id_ = 0;
        rect_ = RECT{};
        manager_ = nullptr;
    }

    UINT flags_ = 0;
    int id_ = 0;
    RECT rect_{};
    ISomWndManager* manager_ = nullptr;  // not owned
};
