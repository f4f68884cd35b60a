#include "tools/stats/TextEncoding.h"

#include <windows.h>

namespace {

const UINT kChineseCodePage = 936;

}  // namespace

std::string GbkToUtf8(const std::string& bytes) {
    if (bytes.empty() || bytes.size() > 0x7FFFFFFF) return std::string();
    const int size = static_cast<int>(bytes.size());
    const int wide = MultiByteToWideChar(kChineseCodePage, 0, bytes.data(), size, nullptr, 0);
    if (wide <= 0) return std::string();
    std::wstring text(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(kChineseCodePage, 0, bytes.data(), size, &text[0], wide);
    const int narrow = WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    if (narrow <= 0) return std::string();
    std::string out(static_cast<size_t>(narrow), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, &out[0], narrow, nullptr, nullptr);
    return out;
}

void PrepareConsoleForUtf8() { SetConsoleOutputCP(CP_UTF8); }
