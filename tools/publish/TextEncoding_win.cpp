#include "tools/publish/TextEncoding.h"

#include <windows.h>

namespace {

const UINT kChineseCodePage = 936;

// One character (one or two UTF-16 units); false when the code page has no
// form for it (no best fit: a look-alike would change the text).
bool Convert(const wchar_t* units, int count, std::string* out) {
    char buffer[16];
    BOOL usedDefault = FALSE;
    const int n = ::WideCharToMultiByte(kChineseCodePage, WC_NO_BEST_FIT_CHARS, units, count, buffer,
                                        sizeof(buffer), nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return false;
    out->append(buffer, static_cast<size_t>(n));
    return true;
}

}  // namespace

bool EncodeGbk(const std::string& text, std::string* out, std::u32string* unfit) {
    std::u32string codePoints;
    out->clear();
    unfit->clear();
    if (!DecodeUtf8(text, &codePoints)) return false;
    for (char32_t cp : codePoints) {
        if (cp < 0x80) {
            *out += static_cast<char>(cp);
            continue;
        }
        wchar_t units[2];
        int count = 1;
        if (cp >= 0x10000) {
            units[0] = static_cast<wchar_t>(0xD800 | ((cp - 0x10000) >> 10));
            units[1] = static_cast<wchar_t>(0xDC00 | ((cp - 0x10000) & 0x3FF));
            count = 2;
        } else {
            units[0] = static_cast<wchar_t>(cp);
        }
        if (Convert(units, count, out)) continue;
        if (unfit->find(cp) == std::u32string::npos) *unfit += cp;
    }
    return unfit->empty();
}
