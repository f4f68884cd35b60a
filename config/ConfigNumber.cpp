#include "config/ConfigNumber.h"

#include <cwctype>

bool ScanUnsigned64(const std::wstring& text, uint64_t& value) {
    size_t i = 0;
    while (i < text.size() && std::iswspace(static_cast<std::wint_t>(text[i]))) ++i;
    if (i < text.size() && text[i] == L'+') ++i;
    if (i >= text.size() || text[i] < L'0' || text[i] > L'9') return false;
    uint64_t result = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        const uint64_t digit = static_cast<uint64_t>(text[i] - L'0');
        if (result > (UINT64_MAX - digit) / 10) return false;  // would wrap
        result = result * 10 + digit;
    }
    value = result;
    return true;
}
