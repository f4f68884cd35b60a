#include "config/GbkText.h"

#include "config/ConfigEncoding.h"

#include <windows.h>

namespace {

const UINT kChineseCodePage = 936;

// One character (one or two UTF-16 units); false when the code page has no
// form for it.
bool Encode(const wchar_t* units, int count, std::string* out) {
    char buffer[16];
    BOOL usedDefault = FALSE;
    const int n = ::WideCharToMultiByte(kChineseCodePage, WC_NO_BEST_FIT_CHARS, units, count, buffer,
                                        sizeof(buffer), nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return false;
    out->append(buffer, static_cast<size_t>(n));
    return true;
}

// All of `input` as one character the code page defines.
bool Decode(const char* input, int size, std::string* out) {
    wchar_t units[4];
    const int n = ::MultiByteToWideChar(kChineseCodePage, MB_ERR_INVALID_CHARS, input, size, units, 4);
    if (n <= 0) return false;
    char buffer[16];
    const int m = ::WideCharToMultiByte(CP_UTF8, 0, units, n, buffer, sizeof(buffer), nullptr, nullptr);
    if (m <= 0) return false;
    out->append(buffer, static_cast<size_t>(m));
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
        if (Encode(units, count, out)) continue;
        if (unfit->find(cp) == std::u32string::npos) *unfit += cp;
    }
    return unfit->empty();
}

std::string GbkToUtf8(const std::string& bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            out += bytes[i++];
            continue;
        }
        // A character is one byte (the euro sign) or two.
        size_t used = 0;
        for (int size = 1; size <= 2 && i + size <= bytes.size() && used == 0; ++size)
            if (Decode(&bytes[i], size, &out)) used = static_cast<size_t>(size);
        if (used == 0) {
            out += EncodeUtf8(0xFFFD);
            used = 1;
        }
        i += used;
    }
    return out;
}
