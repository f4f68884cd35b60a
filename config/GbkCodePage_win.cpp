#include "config/GbkCodePage.h"

#include <windows.h>

namespace {

const UINT kChineseCodePage = 936;

}  // namespace

bool EncodeGbkCharacter(char32_t cp, std::string* out) {
    wchar_t units[2];
    int count = 1;
    if (cp >= 0x10000) {
        units[0] = static_cast<wchar_t>(0xD800 | ((cp - 0x10000) >> 10));
        units[1] = static_cast<wchar_t>(0xDC00 | ((cp - 0x10000) & 0x3FF));
        count = 2;
    } else {
        units[0] = static_cast<wchar_t>(cp);
    }
    char buffer[16];
    BOOL usedDefault = FALSE;
    const int n = ::WideCharToMultiByte(kChineseCodePage, WC_NO_BEST_FIT_CHARS, units, count, buffer,
                                        sizeof(buffer), nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return false;
    out->append(buffer, static_cast<size_t>(n));
    return true;
}

bool DecodeGbkCharacter(const char* bytes, size_t size, std::string* out) {
    wchar_t units[4];
    const int n =
        ::MultiByteToWideChar(kChineseCodePage, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(size), units, 4);
    if (n <= 0) return false;
    char buffer[16];
    const int m = ::WideCharToMultiByte(CP_UTF8, 0, units, n, buffer, sizeof(buffer), nullptr, nullptr);
    if (m <= 0) return false;
    out->append(buffer, static_cast<size_t>(m));
    return true;
}
