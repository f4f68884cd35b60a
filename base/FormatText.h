// printf-style formatting. FormatText: into a wide string, for short texts
// (messages, markup, report queries); text beyond 2047 characters is cut.
// FormatString: into a byte string of any length. A format error gives an
// empty string.
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

inline std::string FormatString(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline std::string FormatString(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(&out[0], out.size(), format, again);
        out.resize(static_cast<size_t>(n));
    }
    va_end(again);
    return out;
}
