// Any bytes as a fetched configuration file. The classification must follow
// its rules (a UTF-16 mark, plain ASCII, valid UTF-8, else the code page),
// the UTF-8 check must agree with a table-driven one, and converted text
// must read back as exactly the UTF-8 it came from, less its mark.
#include "config/ConfigEncoding.h"
#include "fuzz/FuzzCheck.h"

#include <cstdint>

namespace {

// Well-formed UTF-8 as the Unicode standard tabulates it (the ranges of the
// second byte depend on the first).
bool ReferenceUtf8(const std::string& bytes) {
    const auto at = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
    const auto in = [](unsigned char b, unsigned char lo, unsigned char hi) { return b >= lo && b <= hi; };
    size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char b = at(i);
        size_t length;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b <= 0x7F) {
            length = 1;
        } else if (in(b, 0xC2, 0xDF)) {
            length = 2;
        } else if (b == 0xE0) {
            length = 3, lo = 0xA0;
        } else if (in(b, 0xE1, 0xEC) || in(b, 0xEE, 0xEF)) {
            length = 3;
        } else if (b == 0xED) {
            length = 3, hi = 0x9F;
        } else if (b == 0xF0) {
            length = 4, lo = 0x90;
        } else if (in(b, 0xF1, 0xF3)) {
            length = 4;
        } else if (b == 0xF4) {
            length = 4, hi = 0x8F;
        } else {
            return false;
        }
        if (bytes.size() - i < length) return false;
        if (length > 1 && !in(at(i + 1), lo, hi)) return false;
        for (size_t k = 2; k < length; ++k) {
            if (!in(at(i + k), 0x80, 0xBF)) return false;
        }
        i += length;
    }
    return true;
}

// UTF-16LE bytes after their mark, back to UTF-8; false on a lone surrogate.
bool Utf16LeToUtf8(const std::string& utf16, std::string& utf8) {
    const auto unit = [&](size_t k) {
        return static_cast<uint32_t>(static_cast<unsigned char>(utf16[k]) |
                                     static_cast<unsigned char>(utf16[k + 1]) << 8);
    };
    for (size_t i = 2; i < utf16.size(); i += 2) {
        uint32_t cp = unit(i);
        if (cp >= 0xDC00 && cp <= 0xDFFF) return false;
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 4 > utf16.size()) return false;
            const uint32_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        if (cp < 0x80) {
            utf8 += static_cast<char>(cp);
        } else if (cp < 0x800) {
            utf8 += static_cast<char>(0xC0 | (cp >> 6));
            utf8 += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            utf8 += static_cast<char>(0xE0 | (cp >> 12));
            utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | (cp >> 18));
            utf8 += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    const bool valid = IsValidUtf8(bytes);
    FUZZ_CHECK(valid == ReferenceUtf8(bytes), "the UTF-8 check disagrees with the standard's table");

    const bool utf16Mark = size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF));
    bool ascii = true;
    for (size_t i = 0; i < size; ++i) ascii = ascii && data[i] < 0x80;
    const ConfigTextKind expected = utf16Mark ? ConfigTextKind::Utf16WithMark
                                    : ascii   ? ConfigTextKind::Ascii
                                    : valid   ? ConfigTextKind::Utf8
                                              : ConfigTextKind::CodePage;
    FUZZ_CHECK(ClassifyConfigText(bytes) == expected, "the text is classified wrongly");

    std::string out;
    const bool converted = NormaliseConfigText(bytes, out);
    FUZZ_CHECK(converted == (expected == ConfigTextKind::Utf8), "converted when it should not be, or not when it should");
    if (!converted) {
        FUZZ_CHECK(out == bytes, "text left alone is changed");
    } else {
        FUZZ_CHECK(out.size() >= 2 && out.size() % 2 == 0 && out[0] == '\xFF' && out[1] == '\xFE',
                   "converted text is not UTF-16LE with its mark");
        std::string back;
        FUZZ_CHECK(Utf16LeToUtf8(out, back), "converted text holds a lone surrogate");
        const std::string withoutMark = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? bytes.substr(3) : bytes;
        FUZZ_CHECK(back == withoutMark, "converted text does not read back as its UTF-8");
    }
    // Meant for valid text only, but must stay inside any bytes.
    Utf8ToUtf16LeWithMark(bytes);
    return 0;
}
