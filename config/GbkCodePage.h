// One character of code page 936 by the platform's own converter (iconv, or
// the Windows code page); config/GbkText.cpp builds whole texts from it.
#pragma once

#include <cstddef>
#include <string>

// Appends the code page's form of `codePoint` (not ASCII) to `out`; false
// when it has none. No best fit: a look-alike would change the text.
bool EncodeGbkCharacter(char32_t codePoint, std::string* out);

// Appends, as UTF-8, the one character the code page defines as exactly
// these `size` bytes; false when it defines none.
bool DecodeGbkCharacter(const char* bytes, size_t size, std::string* out);
