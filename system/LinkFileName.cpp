#include "system/LinkFileName.h"

namespace {

wchar_t AsciiUpper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool EqualsIgnoringAsciiCase(const std::wstring& text, const wchar_t* upper) {
    size_t i = 0;
    for (; i < text.size() && upper[i] != L'\0'; ++i) {
        if (AsciiUpper(text[i]) != upper[i]) return false;
    }
    return i == text.size() && upper[i] == L'\0';
}

// The ports' digits: 1 to 9, and the superscripts 1, 2 and 3, which Windows
// reserves as well.
bool IsPortDigit(wchar_t c) { return (c >= L'1' && c <= L'9') || c == 0x00B9 || c == 0x00B2 || c == 0x00B3; }

bool IsForbiddenInFileName(wchar_t c) {
    if (c < 32) return true;
    for (const wchar_t* p = L"<>:\"/\\|?*"; *p; ++p) {
        if (c == *p) return true;
    }
    return false;
}

}  // namespace

bool IsWindowsDeviceName(const std::wstring& name) {
    // "CON.txt" and "con .tar.gz" open the console as well: the device is
    // named by the part before the first dot, trailing spaces ignored.
    std::wstring stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') stem.pop_back();
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
        if (EqualsIgnoringAsciiCase(stem, device)) return true;
    }
    if (stem.size() == 4 && IsPortDigit(stem[3])) {
        const std::wstring prefix = stem.substr(0, 3);
        return EqualsIgnoringAsciiCase(prefix, L"COM") || EqualsIgnoringAsciiCase(prefix, L"LPT");
    }
    return false;
}

std::wstring LinkFileName(const std::wstring& link) {
    // Cut first: "setup.exe?sig=ab/cd" names setup.exe, not cd.
    const std::wstring path = link.substr(0, link.find_first_of(L"?#"));
    const size_t slash = path.rfind(L'/');
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == L"." || name == L"..") return std::wstring();
    for (wchar_t c : name) {
        if (IsForbiddenInFileName(c)) return std::wstring();
    }
    if (name.back() == L'.' || name.back() == L' ') return std::wstring();
    if (IsWindowsDeviceName(name)) return std::wstring();
    return name;
}
