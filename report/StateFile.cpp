#include "report/StateFile.h"

#include "config/ConfigNumber.h"
#include "config/DownloaderConfig.h"
#include "base/ScopedHandle.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

namespace {

const wchar_t kSection[] = L"Zephyrine";
const char kUtf16LeMark[] = "\xFF\xFE";
const char kUtf8Mark[] = "\xEF\xBB\xBF";
// The file holds a handful of short keys; anything larger is not ours to
// rewrite.
const LONGLONG kLargestConvertedFile = 1 << 20;

bool StartsWith(const std::string& bytes, const char* mark) { return bytes.compare(0, std::strlen(mark), mark) == 0; }

bool ReadAll(const std::wstring& path, std::string& bytes) {
    ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > kLargestConvertedFile) return false;
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    return bytes.empty() ||
           (::ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr) && got == bytes.size());
}

// Written beside the file and renamed over it, so the values are never lost
// half-way.
bool ReplaceWith(const std::wstring& path, const std::string& bytes) {
    const std::wstring fresh = path + L".new";
    {
        ScopedHandle file(::CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        DWORD written = 0;
        if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size()) {
            file.reset();
            ::DeleteFileW(fresh.c_str());
            return false;
        }
    }
    if (::MoveFileExW(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    ::DeleteFileW(fresh.c_str());
    return false;
}

// Text of the given code page as UTF-16LE bytes behind a byte-order mark.
std::string ToUtf16LeWithMark(const std::string& text, UINT codePage) {
    std::string out(kUtf16LeMark, 2);
    if (text.empty()) return out;
    const int units = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (units <= 0) return std::string();
    std::wstring wide(static_cast<size_t>(units), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], units);
    out.reserve(2 + wide.size() * 2);
    for (wchar_t unit : wide) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>((unit >> 8) & 0xFF));
    }
    return out;
}

}  // namespace

std::wstring StateFilePath() {
    wchar_t temp[2048] = {};
    const DWORD n = ::GetTempPathW(2048, temp);
    std::wstring folder = (n > 0 && n < 2048) ? std::wstring(temp, n) : std::wstring();
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    return folder + TheDownloaderConfig().GetGameId() + L".tmp.cfg";
}

bool CStateFile::Exists() const { return ::GetFileAttributesW(path_.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool CStateFile::Create() const {
    ::DeleteFileW(path_.c_str());
    ScopedHandle file(::CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    // The mark makes the profile functions keep the file in UTF-16: without
    // it they write the system code page, which cannot hold every folder name.
    DWORD written = 0;
    ::WriteFile(file.get(), kUtf16LeMark, 2, &written, nullptr);
    return true;
}

void CStateFile::MakeUnicode() const {
    std::string bytes;
    if (!ReadAll(path_, bytes)) return;
    if (StartsWith(bytes, kUtf16LeMark) || StartsWith(bytes, "\xFE\xFF")) return;  // UTF-16 already
    // An earlier run wrote the system code page (or left the file empty):
    // the same values, rewritten in UTF-16.
    const std::string unicode = StartsWith(bytes, kUtf8Mark) ? ToUtf16LeWithMark(bytes.substr(3), CP_UTF8)
                                                            : ToUtf16LeWithMark(bytes, CP_ACP);
    if (!unicode.empty()) ReplaceWith(path_, unicode);
}

std::wstring CStateFile::Read(const wchar_t* key) const {
    wchar_t buffer[260] = {};
    ::GetPrivateProfileStringW(kSection, key, L"", buffer, 260, path_.c_str());
    return buffer;
}

void CStateFile::Write(const wchar_t* key, const std::wstring& value) const {
    if (!Exists()) return;
    MakeUnicode();
    ::WritePrivateProfileStringW(kSection, key, value.c_str(), path_.c_str());
}

std::wstring CStateFile::GetDir() const { return Exists() ? Read(L"Dir") : std::wstring(); }

void CStateFile::SetDir(const std::wstring& folder) const { Write(L"Dir", folder); }

bool CStateFile::GetDlKD(bool fallback) const {
    if (!Exists()) return fallback;
    return Read(L"DLKD") == L"1";
}

void CStateFile::SetDlKD(bool ticked) const { Write(L"DlKD", ticked ? L"1" : L"0"); }

uint32_t CStateFile::GetKDSize() const {
    if (!Exists()) return kDefaultCompanionSize;
    const uint32_t size = static_cast<uint32_t>(std::wcstol(Read(L"KDSize").c_str(), nullptr, 10));
    return size == 0 ? kDefaultCompanionSize : size;
}

void CStateFile::SetKDSize(uint64_t size) const {
    wchar_t text[24];
    std::swprintf(text, 24, L"%ld", static_cast<long>(static_cast<int32_t>(size & 0xFFFFFFFFu)));
    Write(L"KDSize", text);
}

uint64_t CStateFile::GetDownloadTotalTime() const {
    if (!Exists()) return 0;
    uint64_t total = 0;
    ScanUnsigned64(Read(L"DownloadTotalTime"), total);
    return total;
}

void CStateFile::SetDownloadTotalTime(uint64_t ms) const {
    wchar_t text[24];
    std::swprintf(text, 24, L"%llu", static_cast<unsigned long long>(ms));
    Write(L"DownloadTotalTime", text);
}
