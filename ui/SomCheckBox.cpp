#include "ui/SomCheckBox.h"

#include "ui/GdiHelpers.h"
#include "ui/ISomWndManager.h"
#include "ui/SomBitmap.h"
#include "ui/SomSkin.h"

#include <algorithm>

namespace {

constexpr int kCaptionGap = 5;
constexpr int kMixedFrame = 8;
constexpr int kCheckedFrames = 4;  // checked frames follow the four unchecked ones

}  // namespace

int CSomCheckBox::GetFrameIndex() const {
    if (mixed_ && !radio_) return kMixedFrame;
    int state = 0;
    if (!IsEnabled()) {
        state = 3;
    } else if (hovered_) {
        state = pressed_ ? 2 : 1;
    }
    return state + (checked_ ? kCheckedFrames : 0);
}

void CSomCheckBox::SetCheck(bool checked) {
    if (checked == checked_ && !mixed_) return;
    mixed_ = false;
    checked_ = checked;
    Invalidate(nullptr, 0);
}

void CSomCheckBox::SetMixed(bool mixed) {
    if (mixed == mixed_) return;
    mixed_ = mixed;
    Invalidate(nullptr, 0);
}

void CSomCheckBox::SetCaption(const wchar_t* caption) {
    caption_ = caption ? caption : L"";
    if (IsAttached()) Layout();
}

void CSomCheckBox::OnCreate() {
    hovered_ = false;
    checked_ = false;
    pressed_ = false;
    Layout();
}

void CSomCheckBox::Layout() {
    int width = image_ ? image_->GetFrameWidth() : 0;
    int height = image_ ? image_->GetHeight() : 0;
    if (!caption_.empty()) {
        const SIZE size = SomMeasureText(SomSkin.fonts.Get(CSomFontTable::kDefaultEntry), caption_.c_str(),
                                         static_cast<int>(caption_.size()));
        width += size.cx + kCaptionGap;
        height = std::max(height, static_cast<int>(size.cy));
        SetFlag(SOMF_TRANSPARENT, true);
    } else {
        SetFlag(SOMF_TRANSPARENT, false);  // the frames cover the whole box
    }
    if (IsAutoSize()) SetSize(width, height);
    Invalidate(nullptr, 0);
}

void CSomCheckBox::Draw(HDC dc, int, int) {
    if (caption_.empty()) {
        if (image_) image_->Draw(dc, 0, 0, GetFrameIndex());
        return;
    }
    const int previousMode = ::SetBkMode(dc, TRANSPARENT);
    {
        ScopedSelect font(dc, SomSkin.fonts.Get(CSomFontTable::kDefaultEntry));
        const int x = (image_ ? image_->GetFrameWidth() : 0) + kCaptionGap;
        ::TextOutW(dc, x, 0, caption_.c_str(), static_cast<int>(caption_.size()));
    }
    ::SetBkMode(dc, previousMode);
    if (image_) image_->Draw(dc, 0, 1, GetFrameIndex());
}

void CSomCheckBox::OnMouseEnter(POINT) {
    if (hovered_) return;
    hovered_ = true;
    Invalidate(nullptr, 0);
}

void CSomCheckBox::OnMouseLeave() {
    if (!hovered_) return;
    hovered_ = false;
    Invalidate(nullptr, 0);
}

int CSomCheckBox::OnLButtonDown(POINT) {
    if (pressed_) return 1;
    pressed_ = true;
    Invalidate(nullptr, 0);
    if (GetManager()) GetManager()->CaptureMouse(this);
    return 1;
}

int CSomCheckBox::OnLButtonUp(POINT) {
    if (pressed_ && GetManager()) GetManager()->ReleaseMouse(this);
    return 1;
}

void CSomCheckBox::OnCaptureLost() {
    if (!pressed_) return;
    pressed_ = false;
    if (hovered_) {
        if (radio_ || mixed_) {
            checked_ = true;
            mixed_ = false;
        } else {
            checked_ = !checked_;
        }
    }
    Invalidate(nullptr, 0);
    if (hovered_ && GetManager()) GetManager()->SendCommand(this, 0, static_cast<UINT>(GetId()) & 0xFFFF);
}
