#include "ui/TextProgress.h"

#include "ui/SomFontTable.h"

#include <cwchar>

namespace {

constexpr wchar_t kSong[] = L"宋体";
constexpr wchar_t kYaHei[] = L"微软雅黑";

}  // namespace

CTextProgress::CTextProgress() {
    fonts_[0].reset(CreateSomFont(kSong, 12, 0));
    fonts_[1].reset(CreateSomFont(kSong, 13, 0, true));
    fonts_[2].reset(CreateSomFont(kSong, 12, 700, true));
    fonts_[3].reset(CreateSomFont(SomOsMajorVersion() <= 5 ? kSong : kYaHei, 13, 700));
}

void CTextProgress::SetCaption(const wchar_t* caption) {
    caption_ = caption ? caption : L"";
    Invalidate(nullptr, 0);
}

void CTextProgress::Draw(HDC dc, int, int) {
    DrawBar(dc);
    wchar_t text[24];
    PercentText(text, 24);
    const int previousMode = ::SetBkMode(dc, TRANSPARENT);
    {
        ScopedSelect font(dc, fonts_[0].get());
        ScopedTextColor colour(dc, 0xFFFFFF);
        ::TextOutW(dc, GetWidth() - 32, 3, text, static_cast<int>(std::wcslen(text)));
        ::TextOutW(dc, 10, 3, caption_.c_str(), static_cast<int>(caption_.size()));
    }
    ::SetBkMode(dc, previousMode);
}
