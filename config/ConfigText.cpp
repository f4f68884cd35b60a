#include "config/ConfigText.h"

#include "config/ConfigEncoding.h"
#include "config/GbkText.h"

#include <cstdint>

namespace {

std::string FromUtf16(const std::string& bytes, bool bigEndian) {
    const auto unit = [&](size_t i) -> uint32_t {
        const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (uint32_t(a) << 8 | b) : (uint32_t(b) << 8 | a);
    };
    std::string out;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        uint32_t cp = unit(i);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < bytes.size()) {
            const uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                out += EncodeUtf8(0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (cp >= 0xD800 && cp < 0xE000) cp = 0xFFFD;
        out += EncodeUtf8(cp);
    }
    if (bytes.size() % 2 != 0) out += EncodeUtf8(0xFFFD);  // a torn last unit
    return out;
}

}  // namespace

std::string ConfigTextToUtf8(const std::string& bytes) {
    switch (ClassifyConfigText(bytes)) {
    case ConfigTextKind::Utf16WithMark:
        return FromUtf16(bytes, bytes[0] == '\xFE');
    case ConfigTextKind::Ascii:
        return bytes;
    case ConfigTextKind::Utf8:
        return bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? bytes.substr(3) : bytes;
    case ConfigTextKind::CodePage:
        break;
    }
    return GbkToUtf8(bytes);
}
