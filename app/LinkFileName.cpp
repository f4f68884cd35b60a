#include "LinkFileName.h"

std::wstring LinkFileName(const std::wstring& link) {
    const size_t slash = link.rfind(L'/');
    std::wstring name = slash == std::wstring::npos ? link : link.substr(slash + 1);
    // A query or fragment is not part of the name.
    const size_t cut = name.find_first_of(L"?#");
    if (cut != std::wstring::npos) name.resize(cut);
    if (name == L"." || name == L"..") return std::wstring();
    for (wchar_t c : name) {
        if (c < 32 || std::wstring(L"<>:\"/\\|?*").find(c) != std::wstring::npos) return std::wstring();
    }
    return name;
}
