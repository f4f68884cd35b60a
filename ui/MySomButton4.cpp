#include "ui/MySomButton4.h"

#include "ui/GdiHelpers.h"
#include "ui/SomSkin.h"

void CMySomButton4::Draw(HDC dc, int, int) {
    DrawBackgroundFrame(dc);
    const std::wstring& caption = GetCaption();
    if (caption.empty()) return;
    const int previousMode = ::SetBkMode(dc, TRANSPARENT);
    {
        ScopedSelect font(dc, captionFont_ ? captionFont_ : SomSkin.fonts.Get(CSomFontTable::kDefaultEntry));
        SIZE size{};
        ::GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
        ScopedTextColor colour(dc, IsEnabled() ? captionColour_ : 0x666666);
        ::TextOutW(dc, (GetWidth() - size.cx) / 2, (GetHeight() - size.cy) / 2, caption.c_str(),
                   static_cast<int>(caption.size()));
    }
    ::SetBkMode(dc, previousMode);
}
