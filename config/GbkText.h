// Texts in the Chinese system code page (936, GBK) both ways, a character
// at a time through the platform's converter (config/GbkCodePage.h): the
// one conversion the program's configuration rule and the portal's tools
// share.
#pragma once

#include <string>

// UTF-8 `text` in code page 936. False when it is not UTF-8, or when some
// characters have no form there: `unfit` then lists each of them once, in
// the order they first appear. No best fit: a look-alike would change the
// text.
bool EncodeGbk(const std::string& text, std::string* out, std::u32string* unfit);

// Code page 936 to UTF-8. A byte sequence the code page does not define
// becomes U+FFFD, so nothing is silently glued or dropped.
std::string GbkToUtf8(const std::string& bytes);
