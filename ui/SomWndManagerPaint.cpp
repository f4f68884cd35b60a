// Painting of the element manager: elements first, each excluding its rect
// from the clip region, and the background last into the gaps, so nothing is
// ever painted twice and nothing flickers.
#include "ui/SomWndManager.h"

#include "ui/GdiHelpers.h"
#include "ui/SomWnd.h"

namespace {

// Transparent elements are composed over their background in this buffer
// before one copy to the window; larger elements are painted in place.
constexpr int kBufferWidth = 1024;
constexpr int kBufferHeight = 128;

bool Intersects(const RECT& a, const RECT& b) {
    RECT both{};
    return ::IntersectRect(&both, &a, &b) != FALSE;
}

}  // namespace

void CSomWndManager::EndUpdate() {
    immediatePaint_ = true;
    if (redrawAllowed_ && host_) ::UpdateWindow(host_);
}

void CSomWndManager::InvalidateElement(CSomWnd* element, const RECT* subRect, bool force, int part) {
    if (!redrawAllowed_ || !element) return;
    const bool draw = element->IsVisible();
    const bool background = draw ? element->IsTransparent() : force;
    if (!draw && !force) return;

    const RECT& rect = element->GetRect();
    RECT area = rect;
    if (subRect) {
        RECT moved = *subRect;
        ::OffsetRect(&moved, rect.left, rect.top);
        if (!::IntersectRect(&area, &moved, &rect)) return;
    } else if (::IsRectEmpty(&area)) {
        return;
    }
    if (!host_) return;

    if (immediatePaint_) {
        ScopedWindowDC dc(host_);
        if (!dc.get()) return;
        ::IntersectClipRect(dc.get(), area.left, area.top, area.right, area.bottom);
        PaintElement(dc.get(), element, draw, background, false, part);
    } else {
        ::InvalidateRect(host_, &area, FALSE);
    }
}

void CSomWndManager::OnPaint(HDC given) {
    if (given) {
        RECT area{};
        ::GetClipBox(given, &area);
        DrawElements(given, &area);
        DrawBackground(given, &area);
        return;
    }
    PAINTSTRUCT ps{};
    HDC dc = ::BeginPaint(host_, &ps);
    if (!dc) return;
    const RECT area = ps.rcPaint;
    DrawElements(dc, &area);
    DrawBackground(dc, &area);
    ::EndPaint(host_, &ps);
}

void CSomWndManager::DrawElements(HDC dc, const RECT* rect) {
    RECT area{};
    if (rect) {
        area = *rect;
    } else {
        ::GetClipBox(dc, &area);
    }
    const std::vector<CSomWnd*> elements = elements_;
    for (CSomWnd* element : elements) {
        if (!element->IsVisible() || !Intersects(element->GetRect(), area)) continue;
        PaintElement(dc, element, true, element->IsTransparent(), true, 0);
    }
}

void CSomWndManager::DrawBackground(HDC dc, const RECT* rect) {
    if (!host_) return;
    const auto brush = reinterpret_cast<HBRUSH>(::GetClassLongPtrW(host_, GCLP_HBRBACKGROUND));
    if (!brush) return;
    RECT area{};
    if (rect) {
        area = *rect;
    } else {
        ::GetClipBox(dc, &area);
    }
    ::FillRect(dc, &area, brush);
}

void CSomWndManager::PaintElement(HDC dc, CSomWnd* element, bool draw, bool background, bool exclude, int part) {
    const RECT r = element->GetRect();
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;

    ScopedBitmap bitmap;    // declared first: released after the DC it is selected into
    ScopedMemoryDC buffer;
    HDC target = dc;
    if (background) {
        if (draw && buffer && width <= kBufferWidth && height <= kBufferHeight) {
            ScopedWindowDC screen(nullptr);
            bitmap.reset(::CreateCompatibleBitmap(screen.get(), kBufferWidth, kBufferHeight));
            if (bitmap) target = buffer.get();
        }
        if (target == buffer.get()) {
            ::SelectObject(buffer.get(), bitmap.get());
            ::SetViewportOrgEx(buffer.get(), -r.left, -r.top, nullptr);
        }
        DrawBackground(target, &r);
    }
    if (draw) {
        if (target == dc) {
            POINT old{};
            ::OffsetViewportOrgEx(dc, r.left, r.top, &old);
            element->Draw(dc, -1, part);
            ::SetViewportOrgEx(dc, old.x, old.y, nullptr);
        } else {
            ::SetViewportOrgEx(buffer.get(), 0, 0, nullptr);
            element->Draw(buffer.get(), -1, part);
            ::BitBlt(dc, r.left, r.top, width, height, buffer.get(), 0, 0, SRCCOPY);
        }
        if (exclude) ::ExcludeClipRect(dc, r.left, r.top, r.right, r.bottom);
    }
}
