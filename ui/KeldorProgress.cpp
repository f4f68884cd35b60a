#include "ui/KeldorProgress.h"

#include "ui/GdiHelpers.h"
#include "ui/SomSkin.h"

#include <algorithm>
#include <cwchar>

CKeldorProgress::CKeldorProgress() : fill_(IDR_PNG_PROGRESS_FILL, 1), track_(IDR_PNG_PROGRESS_TRACK, 1) {}

void CKeldorProgress::OnCreate() {
    minimum_ = 0;
    maximum_ = 100;
    position_ = 0;
    if (IsAutoSize()) SetSize(GetWidth(), fill_.GetHeight());
    SetFlag(SOMF_TRANSPARENT, fill_.HasAlpha());
}

void CKeldorProgress::SetRange(int minimum, int maximum) {
    if (minimum >= maximum) return;
    if (minimum == minimum_ && maximum == maximum_) return;
    minimum_ = minimum;
    maximum_ = maximum;
    position_ = minimum;
    Invalidate(nullptr, 0);
}

void CKeldorProgress::SetPosition(int value) {
    value = std::clamp(value, minimum_, maximum_);
    if (value == position_) return;
    position_ = value;
    Invalidate(nullptr, 0);
}

int CKeldorProgress::GetFilledWidth() const {
    // 64-bit: a wide range times a wide bar must not overflow.
    const long long span = static_cast<long long>(maximum_) - minimum_;
    if (span <= 0) return 0;
    return static_cast<int>((static_cast<long long>(position_) - minimum_) * GetWidth() / span);
}

void CKeldorProgress::DrawBar(HDC dc) {
    const int W = GetWidth();
    const int E = capWidth_;
    const int F = GetFilledWidth();

    const int Wt = track_.GetFrameWidth();
    const int Ht = track_.GetHeight();
    track_.DrawPart(dc, 0, 0, E, Ht, 0, 0, 0);
    track_.DrawPartStretched(dc, E, 0, W - 2 * E, Ht, E, 0, Wt - 2 * E, Ht, 0);
    track_.DrawPart(dc, W - E, 0, E, Ht, Wt - E, 0, 0);

    const int Wf = fill_.GetFrameWidth();
    const int Hf = fill_.GetHeight();
    if (F < E) {
        fill_.DrawPart(dc, 0, 0, F, Hf, 0, 0, 0);  // a cut-off left end
        return;
    }
    fill_.DrawPart(dc, 0, 0, E, Hf, 0, 0, 0);
    const int m = F - 2 * E;
    if (m > 0) {
        fill_.DrawPartStretched(dc, E, 0, m, Hf, E, 0, 1, Hf, 0);
        fill_.DrawPart(dc, F - E, 0, E, Hf, Wf - E, 0, 0);
    } else {
        // Between one and two cap widths both complete ends show.
        fill_.DrawPart(dc, E, 0, E, Hf, Wf - E, 0, 0);
    }
}

void CKeldorProgress::PercentText(wchar_t* text, size_t capacity) const {
    std::swprintf(text, capacity, L"%d%%", position_);
}

void CKeldorProgress::Draw(HDC dc, int, int) {
    DrawBar(dc);
    wchar_t text[24];
    PercentText(text, 24);
    const int previousMode = ::SetBkMode(dc, TRANSPARENT);
    {
        ScopedSelect font(dc, SomSkin.fonts.Get(0));
        ScopedTextColor colour(dc, 0xFFFFFF);
        ::TextOutW(dc, GetWidth() / 2 - 10, 0, text, static_cast<int>(std::wcslen(text)));
    }
    ::SetBkMode(dc, previousMode);
}
