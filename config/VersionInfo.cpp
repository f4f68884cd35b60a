#include "config/VersionInfo.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

bool LoadVersionBlock(const std::wstring& modulePath, std::vector<unsigned char>& block) {
    if (modulePath.empty()) return false;
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(modulePath.c_str(), &ignored);
    if (size == 0) return false;
    block.assign(size, 0);
    return ::GetFileVersionInfoW(modulePath.c_str(), 0, size, block.data()) != FALSE;
}

}  // namespace

std::wstring OwnExecutablePath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return std::wstring();
    return std::wstring(path, n);
}

std::wstring ReadFileDescription(const std::wstring& modulePath) {
    std::vector<unsigned char> block;
    if (!LoadVersionBlock(modulePath, block)) return std::wstring();

    struct Translation {
        WORD language;
        WORD codePage;
    };
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length) || !value ||
        length < sizeof(Translation)) {
        return std::wstring();
    }
    const auto* first = static_cast<const Translation*>(value);
    wchar_t name[50];
    std::swprintf(name, 50, L"\\StringFileInfo\\%04x%04x\\FileDescription", first->language, first->codePage);

    void* text = nullptr;
    UINT textLength = 0;
    if (!::VerQueryValueW(block.data(), name, &text, &textLength) || !text) return std::wstring();
    const auto* chars = static_cast<const wchar_t*>(text);
    return std::wstring(chars, wcsnlen(chars, kMaxGameIdLength));
}

std::wstring ReadFileVersion(const std::wstring& modulePath) {
    std::vector<unsigned char> block;
    if (!LoadVersionBlock(modulePath, block)) return std::wstring();
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), L"\\", &value, &length) || !value || length < sizeof(VS_FIXEDFILEINFO)) {
        return std::wstring();
    }
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
    wchar_t text[64];
    std::swprintf(text, 64, L"%d.%d.%d.%d", static_cast<int>(HIWORD(info->dwFileVersionMS)),
                  static_cast<int>(LOWORD(info->dwFileVersionMS)), static_cast<int>(HIWORD(info->dwFileVersionLS)),
                  static_cast<int>(LOWORD(info->dwFileVersionLS)));
    return text;
}
