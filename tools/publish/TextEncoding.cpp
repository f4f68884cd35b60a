#include "tools/publish/TextEncoding.h"

#include <cstdint>
#include <cstdio>

#include "config/ConfigEncoding.h"

bool DecodeUtf8(const std::string& text, std::u32string* codePoints) {
    if (!IsValidUtf8(text)) return false;
    codePoints->clear();
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : 4;
        char32_t cp = length == 1 ? lead : length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
        for (size_t k = 1; k < length; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        codePoints->push_back(cp);
        i += length;
    }
    return true;
}

std::string EncodeUtf8(char32_t cp) {
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

std::string DescribeCodePoint(char32_t cp) {
    char number[16];
    std::snprintf(number, sizeof(number), "U+%04X", static_cast<unsigned>(cp));
    // Control characters are named by number only.
    if (cp < 0x20 || cp == 0x7F) return number;
    return EncodeUtf8(cp) + " (" + number + ")";
}
