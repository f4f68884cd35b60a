// Any bytes (UTF-16LE) as a configured download link. A name it gives must
// be a plain file name in a folder on Windows, and the last path segment of
// the link before its query or fragment: a "/" inside the query is not a
// folder.
#include "fuzz/FuzzCheck.h"
#include "system/LinkFileName.h"

#include <cwctype>

namespace {

std::wstring Upper(const std::wstring& text) {
    std::wstring upper;
    for (wchar_t c : text) upper.push_back(c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c);
    return upper;
}

// CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 name devices whatever the
// case and whatever extension follows.
bool IsDeviceName(const std::wstring& name) {
    const std::wstring stem = Upper(name.substr(0, name.find(L'.')));
    if (stem == L"CON" || stem == L"PRN" || stem == L"AUX" || stem == L"NUL") return true;
    return stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
           stem[3] >= L'1' && stem[3] <= L'9';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring link = Utf16Units(data, size);
    const std::wstring name = LinkFileName(link);
    if (name.empty()) return 0;

    for (wchar_t c : name) {
        FUZZ_CHECK(c >= 32, "a control character in the name");
        FUZZ_CHECK(std::wstring(L"<>:\"/\\|?*").find(c) == std::wstring::npos, "a character Windows forbids");
    }
    FUZZ_CHECK(name != L"." && name != L"..", "a name that is a folder");
    FUZZ_CHECK(name.back() != L'.' && name.back() != L' ', "a name ending in a dot or a space");
    FUZZ_CHECK(!IsDeviceName(name), "a device name");

    const std::wstring path = link.substr(0, link.find_first_of(L"?#"));
    const size_t slash = path.rfind(L'/');
    const std::wstring segment = slash == std::wstring::npos ? path : path.substr(slash + 1);
    FUZZ_CHECK(name == segment, "the name is not the last segment of the link before its query");
    return 0;
}
