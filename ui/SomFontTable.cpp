#include "ui/SomFontTable.h"

#include <cwchar>

namespace {

struct FontEntry {
    int height;
    int weight;  // 0: as the default GUI font
    bool underline;
    bool italic;
};

constexpr FontEntry kEntries[CSomFontTable::kCount] = {
    {11, 0, false, false},   {11, 700, false, false}, {12, 400, false, false}, {12, 700, false, false},
    {13, 400, false, false}, {13, 700, false, false}, {16, 400, false, false}, {16, 700, false, false},
    {13, 700, false, false}, {11, 400, true, false},  {14, 700, false, false}, {14, 400, false, false},
    {12, 600, false, false}, {20, 700, false, false}, {12, 400, true, false},  {28, 700, false, true},
};

constexpr wchar_t kYaHei[] = L"微软雅黑";

}  // namespace

HFONT CreateSomFont(const wchar_t* face, int pixelHeight, int weight, bool underline, bool italic) {
    LOGFONTW lf{};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
    lf.lfHeight = -pixelHeight;
    lf.lfWidth = 0;
    if (weight) lf.lfWeight = weight;
    lf.lfUnderline = underline ? TRUE : FALSE;
    lf.lfItalic = italic ? TRUE : FALSE;
    std::wcsncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    lf.lfFaceName[LF_FACESIZE - 1] = L'\0';
    return ::CreateFontIndirectW(&lf);
}

const wchar_t* CSomFontTable::FaceForVersion(DWORD majorVersion) {
    return majorVersion <= 5 ? L"Tahoma" : kYaHei;
}

CSomFontTable::CSomFontTable() {
    const wchar_t* face = FaceForVersion(SomOsMajorVersion());
    for (int i = 0; i < kCount; ++i) {
        const FontEntry& entry = kEntries[i];
        // The last entry, the large italic, is always in the YaHei face.
        const wchar_t* entryFace = i == kCount - 1 ? kYaHei : face;
        fonts_[i].reset(CreateSomFont(entryFace, entry.height, entry.weight, entry.underline, entry.italic));
    }
}

HFONT CSomFontTable::Get(int entry) const {
    if (entry < 0 || entry >= kCount) return nullptr;
    return fonts_[entry].get();
}
