#include "config/ConfigEncoding.h"

#include <cstdint>

namespace {

const char kUtf8Mark[] = "\xEF\xBB\xBF";

bool HasUtf8Mark(const std::string& bytes) { return bytes.compare(0, 3, kUtf8Mark) == 0; }

// Decodes one code point at bytes[i]; returns its length, 0 when malformed.
size_t DecodeUtf8(const std::string& bytes, size_t i, uint32_t& cp) {
    const auto at = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char lead = at(i);
    size_t length;
    uint32_t min;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > bytes.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((at(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (at(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

bool DecodeUtf8(const std::string& text, std::u32string* codePoints) {
    std::u32string decoded;
    uint32_t cp = 0;
    for (size_t i = 0; i < text.size();) {
        const size_t n = DecodeUtf8(text, i, cp);
        if (n == 0) return false;
        decoded.push_back(cp);
        i += n;
    }
    *codePoints = decoded;
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

bool IsValidUtf8(const std::string& bytes) {
    uint32_t cp = 0;
    for (size_t i = 0; i < bytes.size();) {
        const size_t n = DecodeUtf8(bytes, i, cp);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

ConfigTextKind ClassifyConfigText(const std::string& bytes) {
    if (bytes.size() >= 2) {
        const auto b0 = static_cast<unsigned char>(bytes[0]);
        const auto b1 = static_cast<unsigned char>(bytes[1]);
        if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF)) return ConfigTextKind::Utf16WithMark;
    }
    bool ascii = true;
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) return ConfigTextKind::Ascii;
    return IsValidUtf8(bytes) ? ConfigTextKind::Utf8 : ConfigTextKind::CodePage;
}

std::string Utf8ToUtf16LeWithMark(const std::string& bytes) {
    std::string out("\xFF\xFE", 2);
    out.reserve(2 + bytes.size() * 2);
    const auto put = [&out](uint32_t unit) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>((unit >> 8) & 0xFF));
    };
    size_t i = HasUtf8Mark(bytes) ? 3 : 0;
    uint32_t cp = 0;
    while (i < bytes.size()) {
        const size_t n = DecodeUtf8(bytes, i, cp);
        if (n == 0) break;
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(0xD800 | (cp >> 10));
            put(0xDC00 | (cp & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

bool NormaliseConfigText(const std::string& bytes, std::string& out) {
    if (ClassifyConfigText(bytes) != ConfigTextKind::Utf8) {
        out = bytes;
        return false;
    }
    out = Utf8ToUtf16LeWithMark(bytes);
    return true;
}
