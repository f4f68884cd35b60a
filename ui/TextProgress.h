// The download page's progress bar: a caption at the left (the size text)
// and the percentage at the right, in its own small font.
#pragma once

#include "ui/GdiHelpers.h"
#include "ui/KeldorProgress.h"

#include <array>
#include <string>

class CTextProgress : public CKeldorProgress {
public:
    CTextProgress();

    void SetCaption(const wchar_t* caption);
    const std::wstring& GetCaption() const { return caption_; }
    HFONT GetFont(int entry) const { return entry >= 0 && entry < 4 ? fonts_[entry].get() : nullptr; }

    void Draw(HDC dc, int clipRight, int part) override;

private:
    std::wstring caption_;
    // 0 regular 12, 1 underlined 13, 2 bold underlined 12, 3 bold 13; only
    // entry 0 is drawn with.
    std::array<ScopedFont, 4> fonts_;
};
