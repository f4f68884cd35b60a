// Characters named in the tool's messages. The conversions themselves are
// the program's (config/ConfigEncoding.h, config/GbkText.h).
#pragma once

#include <string>

// "星 (U+661F)": a code point and its number, for messages.
std::string DescribeCodePoint(char32_t codePoint);
