// The encodings a configuration is written in: the Chinese system code page
// (936, GBK) or UTF-16LE with a byte-order mark, from UTF-8 text.
#pragma once

#include <string>

// The code points of UTF-8 text; false when the text is not valid UTF-8.
bool DecodeUtf8(const std::string& text, std::u32string* codePoints);

// One code point as UTF-8.
std::string EncodeUtf8(char32_t codePoint);

// "星 (U+661F)": a code point and its number, for messages.
std::string DescribeCodePoint(char32_t codePoint);

// `text` in code page 936. False when some characters have no form there:
// `unfit` then lists each of them once, in the order they first appear.
// Platform code: the system's converter (iconv, or the Windows code page).
bool EncodeGbk(const std::string& text, std::string* out, std::u32string* unfit);
