#include "ui/SomWnd.h"

#include "ui/ISomWndManager.h"

CSomWnd::~CSomWnd() {
    if (manager_) manager_->RemoveElement(this);
}

void CSomWnd::Create(ISomWndManager* manager, int x, int y, int cx, int cy, int id, UINT flags) {
    manager_ = manager;
    flags_ = flags;
    id_ = id;
    rect_ = RECT{x, y, x + cx, y + cy};
    if (manager_) manager_->AddElement(this);
    OnCreate();
    OnMove(x, y);
    OnSize(cx, cy);
}

bool CSomWnd::SetVisible(bool show) {
    const bool previous = IsVisible();
    if (previous == show) return previous;
    SetFlag(SOMF_VISIBLE, show);
    // Forced, so that hiding repaints the background where the element was.
    if (manager_) manager_->InvalidateElement(this, nullptr, true, 0);
    return previous;
}

bool CSomWnd::Enable(bool enable) {
    const bool previous = IsEnabled();
    if (previous == enable) return previous;
    SetFlag(SOMF_DISABLED, !enable);
    Invalidate(nullptr, 0);
    return previous;
}

void CSomWnd::SetPos(int x, int y) {
    if (manager_) manager_->SetElementPos(this, x, y);
}

void CSomWnd::SetSize(int cx, int cy) {
    if (manager_) manager_->SetElementSize(this, cx, cy);
}

void CSomWnd::SetRect(int x, int y, int cx, int cy) {
    if (manager_) manager_->SetElementRect(this, x, y, cx, cy);
}

void CSomWnd::Invalidate(const RECT* subRect, int part) {
    if (manager_) manager_->InvalidateElement(this, subRect, false, part);
}
