#include "ui/SomBitmap.h"

#include "winlayer/AppModule.h"
#include "ui/GdiHelpers.h"
#include "ui/ImageLoader.h"

CSomBitmap::CSomBitmap(UINT resourceId, WORD frames, BYTE kind)
    : resourceId_(resourceId), frames_(frames ? frames : 1), kind_(kind) {}

CSomBitmap::CSomBitmap(const wchar_t* path, WORD frames, BYTE kind)
    : path_(path ? path : L""), frames_(frames ? frames : 1), kind_(kind) {}

CSomBitmap::~CSomBitmap() {
    if (bitmap_) ::DeleteObject(bitmap_);
}

int CSomBitmap::GetFrameWidth() {
    EnsureLoaded();
    return frameWidth_;
}

int CSomBitmap::GetHeight() {
    EnsureLoaded();
    return height_;
}

bool CSomBitmap::HasAlpha() {
    EnsureLoaded();
    return hasAlpha_;
}

int CSomBitmap::GetFrameCount() {
    EnsureLoaded();
    return bitmap_ ? frames_ : 0;
}

HBITMAP CSomBitmap::GetHandle() {
    EnsureLoaded();
    return bitmap_;
}

HBITMAP CSomBitmap::LoadBitmapFromSource() {
    HINSTANCE module = TheAppModule().GetModuleInstance();
    if (!module) module = ::GetModuleHandleW(nullptr);
    if (!path_.empty()) return LoadImageFile(path_, kind_);
    if (resourceId_ == 0 || resourceId_ > 0xFFFE) return nullptr;
    return LoadImageResource(module, resourceId_, kind_);
}

void CSomBitmap::EnsureLoaded() {
    if (loaded_) return;
    loaded_ = true;  // a failed load is never retried
    bitmap_ = LoadBitmapFromSource();
    BITMAP info{};
    if (bitmap_ && ::GetObjectW(bitmap_, sizeof(info), &info)) {
        frameWidth_ = info.bmWidth / frames_;
        height_ = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
        hasAlpha_ = info.bmBitsPixel == 32;
    } else {
        if (bitmap_) ::DeleteObject(bitmap_);
        bitmap_ = nullptr;
        frames_ = 0;
        frameWidth_ = 0;
        height_ = 0;
        hasAlpha_ = false;
    }
}

void CSomBitmap::Draw(HDC dc, int x, int y, int frame) {
    EnsureLoaded();
    DrawPart(dc, x, y, frameWidth_, height_, 0, 0, frame);
}

void CSomBitmap::DrawStretched(HDC dc, int x, int y, int cx, int cy, int frame) {
    EnsureLoaded();
    DrawPartStretched(dc, x, y, cx, cy, 0, 0, frameWidth_, height_, frame);
}

void CSomBitmap::DrawHStretched(HDC dc, int x, int y, int cx, int frame) {
    EnsureLoaded();
    DrawPartStretched(dc, x, y, cx, height_, 0, 0, frameWidth_, height_, frame);
}

void CSomBitmap::DrawPart(HDC dc, int x, int y, int cx, int cy, int srcX, int srcY, int frame) {
    DrawPartStretched(dc, x, y, cx, cy, srcX, srcY, cx, cy, frame);
}

void CSomBitmap::DrawPartStretched(HDC dc, int x, int y, int cx, int cy, int srcX, int srcY, int srcCx,
                                   int srcCy, int frame) {
    EnsureLoaded();
    if (!bitmap_ || frame < 0 || frame >= frames_) return;  // beyond the strip: nothing
    if (cx <= 0 || cy <= 0 || srcCx <= 0 || srcCy <= 0) return;
    HDC source = SomSharedMemoryDC();
    if (!source) return;
    ScopedSelect select(source, bitmap_);
    const int sx = frame * frameWidth_ + srcX;
    const bool scaled = cx != srcCx || cy != srcCy;
    if (hasAlpha_) {
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        ::AlphaBlend(dc, x, y, cx, cy, source, sx, srcY, srcCx, srcCy, blend);
    } else if (!scaled) {
        ::BitBlt(dc, x, y, cx, cy, source, sx, srcY, SRCCOPY);
    } else {
        // HALFTONE needs the brush origin re-set; the mode stays on dc.
        ::SetStretchBltMode(dc, HALFTONE);
        ::SetBrushOrgEx(dc, 0, 0, nullptr);
        ::StretchBlt(dc, x, y, cx, cy, source, sx, srcY, srcCx, srcCy, SRCCOPY);
    }
}
