#include "tools/publish/TextEncoding.h"

#include "config/ConfigEncoding.h"

#include <cstdio>

std::string DescribeCodePoint(char32_t cp) {
    char number[16];
    std::snprintf(number, sizeof(number), "U+%04X", static_cast<unsigned>(cp));
    // Control characters are named by number only.
    if (cp < 0x20 || cp == 0x7F) return number;
    return EncodeUtf8(cp) + " (" + number + ")";
}
