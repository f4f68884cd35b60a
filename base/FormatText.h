// printf-style formatting into a wide string, for short texts (messages,
// markup, report queries). Text beyond 2047 characters is cut; a format
// error gives an empty string.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

inline std::wstring FormatText(const wchar_t* format, ...) {
    wchar_t buffer[2048];
    va_list args;
    va_start(args, format);
    const int n = std::vswprintf(buffer, sizeof(buffer) / sizeof(buffer[0]), format, args);
    va_end(args);
    return n < 0 ? std::wstring() : std::wstring(buffer, static_cast<size_t>(n));
}
