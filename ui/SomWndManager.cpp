#include "ui/SomWndManager.h"

#include "ui/SomWnd.h"

#include <algorithm>

namespace {

// Button and move messages carry the client point as two unsigned words.
POINT PointFromLParam(LPARAM lp) {
    const DWORD value = static_cast<DWORD>(lp);
    return POINT{static_cast<LONG>(LOWORD(value)), static_cast<LONG>(HIWORD(value))};
}

POINT RelativeTo(const CSomWnd* element, POINT pt) {
    return POINT{pt.x - element->GetRect().left, pt.y - element->GetRect().top};
}

bool Contains(const RECT& rect, POINT pt) {
    return pt.x >= rect.left && pt.x < rect.right && pt.y >= rect.top && pt.y < rect.bottom;
}

}  // namespace

BOOL CSomWndManager::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (!host_) {
        // The last messages of a window already torn down (WM_NCDESTROY and
        // the like) must not attach the manager to it again.
        if (hwnd == retired_) return FALSE;
        retired_ = nullptr;
        host_ = hwnd;
        ::SetTimer(host_, SOM_TIMER_ID, SOM_TIMER_INTERVAL_MS, nullptr);
    }
    switch (msg) {
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lp);
        if (!header || header->code != TTN_GETDISPINFOW) return FALSE;
        if (!toolTips_.OnGetDispInfo(reinterpret_cast<NMTTDISPINFOW*>(lp))) return FALSE;
        result = 0;
        return TRUE;
    }
    case WM_MOUSEMOVE:
        return OnMouseMove(lp, result);
    case WM_ERASEBKGND:
        result = 1;  // everything is painted in WM_PAINT
        return TRUE;
    case WM_PAINT:
    case WM_PRINTCLIENT:
        OnPaint(reinterpret_cast<HDC>(wp));
        result = 0;
        return TRUE;
    case WM_SETCURSOR:
        return OnSetCursor(result);
    case WM_LBUTTONDBLCLK:
        return OnButton(&CSomWnd::OnLButtonDblClk, lp, result);
    case WM_LBUTTONDOWN:
        return OnButton(&CSomWnd::OnLButtonDown, lp, result);
    case WM_LBUTTONUP:
        return OnButton(&CSomWnd::OnLButtonUp, lp, result);
    case WM_TIMER:
        if (wp != SOM_TIMER_ID) return FALSE;
        OnSomTimer();
        result = 1;
        return TRUE;
    case WM_CAPTURECHANGED:
        if (!capture_) return FALSE;
        {
            CSomWnd* lost = capture_;
            lost->OnCaptureLost();
            if (capture_ == lost) capture_ = nullptr;
        }
        result = 0;
        return TRUE;
    case WM_SETREDRAW:
        redrawAllowed_ = wp != 0;
        return FALSE;
    case WM_DESTROY:
        Teardown();
        return FALSE;
    default:
        return FALSE;
    }
}

CSomWnd* CSomWndManager::HitTest(POINT pt) const {
    for (CSomWnd* element : elements_) {
        if (element->IsVisible() && element->IsEnabled() && Contains(element->GetRect(), pt)) return element;
    }
    return nullptr;
}

BOOL CSomWndManager::OnButton(ButtonHandler handler, LPARAM lp, LRESULT& result) {
    const POINT pt = PointFromLParam(lp);
    if (capture_) {
        result = (capture_->*handler)(RelativeTo(capture_, pt));
        return TRUE;
    }
    CSomWnd* target = HitTest(pt);
    if (!target) return FALSE;
    result = (target->*handler)(RelativeTo(target, pt));
    return result != 0;
}

BOOL CSomWndManager::OnMouseMove(LPARAM lp, LRESULT& result) {
    const POINT pt = PointFromLParam(lp);
    if (capture_) {
        CSomWnd* element = capture_;
        const POINT local = RelativeTo(element, pt);
        const bool inside = Contains(element->GetRect(), pt);
        if (inside && !hover_) {
            hover_ = element;
            element->OnMouseEnter(local);
        } else if (!inside && hover_ == element) {
            hover_ = nullptr;
            element->OnMouseLeave();
        }
        result = element->OnMouseMove(local);
        return TRUE;
    }
    CSomWnd* target = HitTest(pt);
    const POINT local = target ? RelativeTo(target, pt) : pt;
    if (target != hover_) {
        CSomWnd* old = hover_;
        hover_ = target;
        if (old) old->OnMouseLeave();
        if (target) target->OnMouseEnter(local);
    }
    if (target) {
        target->OnMouseMove(local);
        return FALSE;
    }
    result = 0;
    return TRUE;
}

BOOL CSomWndManager::OnSetCursor(LRESULT& result) {
    POINT pt = GetCursorScreenPos();
    ::ScreenToClient(host_, &pt);
    CSomWnd* target = capture_ ? capture_ : HitTest(pt);
    if (!target) return FALSE;
    result = target->OnSetCursor(RelativeTo(target, pt));
    return result != 0;
}

void CSomWndManager::OnSomTimer() {
    if (hover_ && !capture_) {
        const POINT cursor = GetCursorScreenPos();
        RECT client{};
        ::GetClientRect(host_, &client);
        ::MapWindowPoints(host_, nullptr, reinterpret_cast<POINT*>(&client), 2);
        const bool inside = Contains(client, cursor);
        if (!inside || GetWindowAtScreenPos(cursor) != host_) {
            CSomWnd* old = hover_;
            hover_ = nullptr;
            old->OnMouseLeave();
        }
    }
    // A copy: an element's tick may add or remove elements.
    const std::vector<CSomWnd*> elements = elements_;
    for (CSomWnd* element : elements) element->OnTimer();
}

POINT CSomWndManager::GetCursorScreenPos() const {
    POINT pt{};
    ::GetCursorPos(&pt);
    return pt;
}

HWND CSomWndManager::GetWindowAtScreenPos(POINT pt) const {
    return ::WindowFromPoint(pt);
}

bool CSomWndManager::AddElement(CSomWnd* element) {
    elements_.push_back(element);
    return true;
}

bool CSomWndManager::RemoveElement(CSomWnd* element) {
    if (element && element == capture_) {
        ReleaseMouse(element);
        if (capture_) {
            CSomWnd* lost = capture_;
            capture_ = nullptr;
            lost->OnCaptureLost();
        }
    }
    if (element && element == hover_) {
        hover_ = nullptr;
        element->OnMouseLeave();
    }
    auto found = std::find(elements_.begin(), elements_.end(), element);
    if (found == elements_.end()) return false;
    elements_.erase(found);
    return true;
}

void CSomWndManager::CaptureMouse(CSomWnd* element) {
    if (capture_) capture_->OnCaptureLost();
    capture_ = element;
    if (host_ && ::GetCapture() != host_) ::SetCapture(host_);
}

void CSomWndManager::ReleaseMouse(CSomWnd* element) {
    if (!element || element != capture_) return;
    // The platform answers with WM_CAPTURECHANGED before ReleaseCapture
    // returns; its handling calls OnCaptureLost and clears the capture.
    if (host_ && ::GetCapture() == host_) ::ReleaseCapture();
    // When the host did not own the platform capture there is no such
    // notification: keep the same order by delivering it here.
    if (capture_ == element) {
        element->OnCaptureLost();
        if (capture_ == element) capture_ = nullptr;
    }
}

LRESULT CSomWndManager::SendMsg(UINT msg, WPARAM wp, LPARAM lp) {
    return ::SendMessageW(host_, msg, wp, lp);
}

LRESULT CSomWndManager::SendCommand(CSomWnd* element, UINT code, UINT id) {
    return ::SendMessageW(host_, WM_COMMAND, MAKEWPARAM(id & 0xFFFF, code & 0xFFFF),
                          reinterpret_cast<LPARAM>(element));
}

bool CSomWndManager::PostMsg(UINT msg, WPARAM wp, LPARAM lp) {
    return ::PostMessageW(host_, msg, wp, lp) != FALSE;
}

void CSomWndManager::SetElementRect(CSomWnd* element, int x, int y, int cx, int cy) {
    const RECT old = element->rect_;
    const RECT next{x, y, x + cx, y + cy};
    if (::EqualRect(&old, &next)) return;
    if (element->IsVisible() && host_) ::InvalidateRect(host_, &old, FALSE);
    element->rect_ = next;
    if (old.left != next.left || old.top != next.top) element->OnMove(x, y);
    if (old.right - old.left != cx || old.bottom - old.top != cy) element->OnSize(cx, cy);
    if (element->IsVisible() && host_) {
        ::InvalidateRect(host_, &element->rect_, FALSE);
        if (immediatePaint_) ::UpdateWindow(host_);
    }
}

void CSomWndManager::SetElementSize(CSomWnd* element, int cx, int cy) {
    const RECT old = element->rect_;
    if (old.right - old.left == cx && old.bottom - old.top == cy) return;
    if (element->IsVisible() && host_) ::InvalidateRect(host_, &old, FALSE);
    element->rect_.right = old.left + cx;
    element->rect_.bottom = old.top + cy;
    element->OnSize(cx, cy);
    if (element->IsVisible() && host_) {
        ::InvalidateRect(host_, &element->rect_, FALSE);
        if (immediatePaint_) ::UpdateWindow(host_);
    }
}

void CSomWndManager::SetElementPos(CSomWnd* element, int x, int y) {
    const RECT old = element->rect_;
    if (old.left == x && old.top == y) return;
    if (element->IsVisible() && host_) ::InvalidateRect(host_, &old, FALSE);
    ::OffsetRect(&element->rect_, x - old.left, y - old.top);
    element->OnMove(x, y);
    if (element->IsVisible() && host_) {
        ::InvalidateRect(host_, &element->rect_, FALSE);
        if (immediatePaint_) ::UpdateWindow(host_);
    }
}

int CSomWndManager::AddToolTip(CSomWnd* element, int key, const RECT* rect) {
    return toolTips_.AddToolTip(element, key, rect);
}

void CSomWndManager::RemoveToolTips(CSomWnd* element) {
    toolTips_.RemoveToolTips(element);
}

void CSomWndManager::Teardown() {
    if (host_) ::KillTimer(host_, SOM_TIMER_ID);
    if (hover_) {
        CSomWnd* old = hover_;
        hover_ = nullptr;
        old->OnMouseLeave();
    }
    if (capture_) {
        CSomWnd* lost = capture_;
        capture_ = nullptr;
        lost->OnCaptureLost();
    }
    const std::vector<CSomWnd*> elements = elements_;
    for (CSomWnd* element : elements) {
        element->OnDestroy();
        element->Detach();
    }
    redrawAllowed_ = true;
    immediatePaint_ = true;
    retired_ = host_;
    host_ = nullptr;
    elements_.clear();
}
