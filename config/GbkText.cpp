#include "config/GbkText.h"

#include "config/ConfigEncoding.h"
#include "config/GbkCodePage.h"

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
        if (EncodeGbkCharacter(cp, out)) continue;
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
        for (size_t size = 1; size <= 2 && i + size <= bytes.size() && used == 0; ++size)
            if (DecodeGbkCharacter(&bytes[i], size, &out)) used = size;
        if (used == 0) {
            out += EncodeUtf8(0xFFFD);
            used = 1;
        }
        i += used;
    }
    return out;
}
