// Conversion of a Chinese portal's GBK text to UTF-8, by the platform's own
// converter.
#pragma once

#include <string>

// GBK (GB18030 where the platform has it) to UTF-8; bytes it cannot read are
// dropped.
std::string GbkToUtf8(const std::string& bytes);

// Lets the console show the report's UTF-8 text (Chinese names) as it is.
void PrepareConsoleForUtf8();
