#include "ui/SomButton4.h"

#include "ui/GdiHelpers.h"
#include "ui/ISomWndManager.h"
#include "ui/SomBitmap.h"
#include "ui/SomSkin.h"

#include <algorithm>

namespace {

constexpr int kIconGap = 5;
constexpr int kAutoSizePadding = 15;
constexpr COLORREF kDisabledText = 0x666666;

}  // namespace

int CSomButton4::GetStateIndex() const {
    if (!IsEnabled()) return 3;
    if (hovered_) return pressed_ ? 2 : 1;
    return 0;
}

void CSomButton4::SetImage(CSomBitmap* background) {
    background_ = background;
    Layout();
}

void CSomButton4::SetCaption(const wchar_t* caption) {
    caption_ = caption ? caption : L"";
    Layout();
}

void CSomButton4::SetIcon(CSomBitmap* icon, int frame) {
    icon_ = icon;
    iconFrame_ = frame;
    Layout();
}

void CSomButton4::Layout() {
    int content = 0;
    if (icon_) content += icon_->GetFrameWidth();
    if (!caption_.empty()) {
        content += SomMeasureText(SomSkin.fonts.Get(CSomFontTable::kDefaultEntry), caption_.c_str(),
                                  static_cast<int>(caption_.size()))
                       .cx;
    }
    if (icon_ && !caption_.empty()) content += kIconGap;

    if (!IsAutoSize()) {
        contentOffset_ = (GetWidth() - content) / 2;
    } else if (background_) {
        const int width = std::max(content + kAutoSizePadding, background_->GetFrameWidth());
        SetSize(width, background_->GetHeight());
        contentOffset_ = (width - content) / 2;
    }
    Invalidate(nullptr, 0);
}

void CSomButton4::OnCreate() {
    SetFlag(SOMF_TRANSPARENT, true);
    hovered_ = false;
    pressed_ = false;
}

void CSomButton4::DrawBackgroundFrame(HDC dc) {
    if (background_) background_->DrawHStretched(dc, 0, 0, GetWidth(), GetStateIndex());
}

void CSomButton4::Draw(HDC dc, int, int) {
    DrawBackgroundFrame(dc);
    int x = contentOffset_;
    if (icon_) {
        icon_->Draw(dc, x, (GetHeight() - icon_->GetHeight()) / 2, iconFrame_);
        x += icon_->GetFrameWidth() + kIconGap;
    }
    if (caption_.empty()) return;
    const int previousMode = ::SetBkMode(dc, TRANSPARENT);
    {
        ScopedSelect font(dc, SomSkin.fonts.Get(CSomFontTable::kDefaultEntry));
        ScopedTextColor colour(dc, IsEnabled() ? 0 : kDisabledText);
        const int y = (pressed_ && hovered_) ? 6 : 5;  // one-pixel push-in
        ::TextOutW(dc, x, y, caption_.c_str(), static_cast<int>(caption_.size()));
    }
    ::SetBkMode(dc, previousMode);
}

void CSomButton4::OnMouseEnter(POINT) {
    if (hovered_) return;
    hovered_ = true;
    Invalidate(nullptr, 0);
}

void CSomButton4::OnMouseLeave() {
    if (!hovered_) return;
    hovered_ = false;
    Invalidate(nullptr, 0);
}

int CSomButton4::OnLButtonDown(POINT) {
    if (pressed_) return 1;
    pressed_ = true;
    Invalidate(nullptr, 0);
    if (GetManager()) GetManager()->CaptureMouse(this);
    return 1;
}

int CSomButton4::OnLButtonUp(POINT) {
    if (pressed_ && GetManager()) GetManager()->ReleaseMouse(this);
    return 1;
}

void CSomButton4::OnCaptureLost() {
    if (!pressed_) return;
    pressed_ = false;
    Invalidate(nullptr, 0);
    if (hovered_ && GetManager()) GetManager()->SendCommand(this, 0, static_cast<UINT>(GetId()) & 0xFFFF);
}
