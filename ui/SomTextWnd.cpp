#include "ui/SomTextWnd.h"

#include "base/WebAddress.h"

#include "ui/GdiHelpers.h"
#include "ui/ISomWndManager.h"
#include "ui/SomMarkup.h"
#include "ui/SomSkin.h"

#include <shellapi.h>

#include <algorithm>

namespace {

constexpr UINT kEllipsisFormat = DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;

}  // namespace

void CSomTextWnd::SetText(const wchar_t* markup) {
    const std::wstring text = markup ? markup : L"";
    if (text == markup_) return;
    hovered_ = -1;
    if (pressed_ != -1 && GetManager()) {
        // Its OnCaptureLost finds no hovered run and fires nothing.
        GetManager()->ReleaseMouse(this);
    }
    pressed_ = -1;
    runs_.clear();
    markup_ = text;
    for (SomMarkupRun& parsed : ParseSomMarkup(markup_)) {
        Run run;
        run.text = std::move(parsed.text);
        run.font = parsed.font >= 0 ? SomSkin.fonts.Get(parsed.font) : nullptr;
        run.colour = parsed.colour;
        run.link = std::move(parsed.link);
        runs_.push_back(std::move(run));
    }
    Layout();
    Invalidate(nullptr, 0);
}

void CSomTextWnd::SetFont(HFONT font) {
    font_ = font;
    Layout();
}

void CSomTextWnd::SetTextColor(COLORREF colour) {
    if (colour == textColour_) return;
    textColour_ = colour;
    Invalidate(nullptr, 0);
}

void CSomTextWnd::SetLinkColors(COLORREF normal, COLORREF hover) {
    linkColour_ = normal;
    linkHoverColour_ = hover;
}

void CSomTextWnd::OnCreate() {
    if (!font_) font_ = SomSkin.fonts.Get(CSomFontTable::kDefaultEntry);
    SetFlag(SOMF_TRANSPARENT, true);
    hovered_ = -1;
    pressed_ = -1;
    Layout();
}

void CSomTextWnd::Layout() {
    if (!font_) font_ = SomSkin.fonts.Get(CSomFontTable::kDefaultEntry);
    std::vector<SIZE> sizes;
    int lineHeight = 0;
    for (const Run& run : runs_) {
        const SIZE size = SomMeasureText(run.font ? run.font : font_, run.text.c_str(),
                                         static_cast<int>(run.text.size()));
        sizes.push_back(size);
        lineHeight = std::max(lineHeight, static_cast<int>(size.cy));
    }
    int x = 0;
    for (size_t i = 0; i < runs_.size(); ++i) {
        runs_[i].rect = RECT{x, lineHeight - sizes[i].cy, x + sizes[i].cx, lineHeight};
        x = runs_[i].rect.right;
    }
    if (IsAutoSize()) {
        const int width = maxWidth_ != -1 ? std::min(x, maxWidth_) : x;
        SetSize(width, lineHeight);
    }
}

void CSomTextWnd::Draw(HDC dc, int clipRight, int part) {
    const int previousMode = ::SetBkMode(dc, TRANSPARENT);
    const COLORREF previousColour = ::GetTextColor(dc);
    if (part > 0) {
        if (part - 1 < static_cast<int>(runs_.size())) DrawRun(dc, part - 1, clipRight);
    } else {
        RECT clip{};
        ::GetClipBox(dc, &clip);
        for (size_t i = 0; i < runs_.size(); ++i) {
            RECT both{};
            if (::IntersectRect(&both, &runs_[i].rect, &clip)) DrawRun(dc, static_cast<int>(i), clipRight);
        }
    }
    ::SetTextColor(dc, previousColour);
    ::SetBkMode(dc, previousMode);
}

void CSomTextWnd::DrawRun(HDC dc, int index, int clipRight) {
    const Run& run = runs_[index];
    COLORREF colour;
    if (index == hovered_) {
        colour = linkHoverColour_;
    } else if (!run.link.empty()) {
        colour = run.colour >= 0 ? static_cast<COLORREF>(run.colour) : linkColour_;
    } else {
        colour = run.colour >= 0 ? static_cast<COLORREF>(run.colour) : textColour_;
    }
    colour &= 0xFFFFFF;

    const int limit = clipRight != -1 ? clipRight : maxWidth_;
    RECT r = run.rect;
    bool narrowed = false;
    if (limit != -1) {
        if (limit < r.left) return;
        if (limit < r.right) {
            r.right = limit;
            narrowed = true;
        }
    }
    ScopedSelect font(dc, run.font ? run.font : font_);
    ::SetTextColor(dc, colour);
    if (!narrowed) {
        ::TextOutW(dc, r.left, r.top, run.text.c_str(), static_cast<int>(run.text.size()));
    } else {
        ::DrawTextW(dc, run.text.c_str(), static_cast<int>(run.text.size()), &r, kEllipsisFormat);
    }
}

int CSomTextWnd::RunAt(POINT pt) const {
    for (size_t i = 0; i < runs_.size(); ++i) {
        const RECT& r = runs_[i].rect;
        if (pt.x >= r.left && pt.x < r.right && pt.y >= r.top && pt.y < r.bottom) return static_cast<int>(i);
    }
    return -1;
}

void CSomTextWnd::RedrawRun(int index) {
    if (index < 0 || index >= static_cast<int>(runs_.size())) return;
    Invalidate(&runs_[index].rect, index + 1);
}

int CSomTextWnd::OnSetCursor(POINT pt) {
    const int index = RunAt(pt);
    if (index < 0 || runs_[index].link.empty()) return 0;
    ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
    return 1;
}

int CSomTextWnd::OnMouseMove(POINT pt) {
    const int index = RunAt(pt);
    if (index < 0) return 0;
    const int old = hovered_;
    if (runs_[index].link.empty()) {
        hovered_ = -1;
    } else if (index != hovered_) {
        hovered_ = index;
        RedrawRun(index);
    } else {
        return 0;  // still over the same link
    }
    if (old != -1) RedrawRun(old);
    return 0;
}

void CSomTextWnd::OnMouseLeave() {
    if (hovered_ == -1) return;
    const int old = hovered_;
    hovered_ = -1;
    RedrawRun(old);
}

int CSomTextWnd::OnLButtonDown(POINT pt) {
    const int index = RunAt(pt);
    if (index < 0) return 0;
    const int old = pressed_;
    if (runs_[index].link.empty()) {
        pressed_ = -1;
    } else if (index != pressed_) {
        pressed_ = index;
        RedrawRun(index);
        if (GetManager()) GetManager()->CaptureMouse(this);
    }
    if (old != -1 && old != pressed_) RedrawRun(old);
    return pressed_ != -1 ? 1 : 0;
}

int CSomTextWnd::OnLButtonUp(POINT) {
    if (pressed_ != -1 && GetManager()) GetManager()->ReleaseMouse(this);
    return pressed_ != -1 ? 1 : 0;
}

void CSomTextWnd::OnCaptureLost() {
    if (pressed_ == -1) return;
    const int old = pressed_;
    pressed_ = -1;
    RedrawRun(old);
    if (hovered_ == -1) return;
    const std::wstring link = runs_[hovered_].link;
    int32_t id = 0;
    if (ParseSomButtonLink(link, id)) {
        if (GetManager()) GetManager()->SendCommand(this, 0, static_cast<UINT>(id) & 0xFFFF);
    } else {
        OpenLink(link);
    }
}

bool OpenWebLink(const std::wstring& link) {
    // Links come from pages and configuration fetched over plain HTTP: file:,
    // UNC paths and other protocol handlers are never handed to the shell.
    if (!IsWebAddress(link)) return false;
    return reinterpret_cast<INT_PTR>(::ShellExecuteW(nullptr, L"open", link.c_str(), nullptr, nullptr,
                                                     SW_SHOWNORMAL)) > 32;
}

void CSomTextWnd::OpenLink(const std::wstring& link) { OpenWebLink(link); }
