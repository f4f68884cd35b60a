#include "StateFile.h"

#include "ConfigNumber.h"
#include "DownloaderConfig.h"
#include "ScopedHandle.h"

#include <windows.h>

#include <cwchar>

namespace {

const wchar_t kSection[] = L"Zephyrine";

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
    return file.valid();
}

std::wstring CStateFile::Read(const wchar_t* key) const {
    wchar_t buffer[260] = {};
    ::GetPrivateProfileStringW(kSection, key, L"", buffer, 260, path_.c_str());
    return buffer;
}

void CStateFile::Write(const wchar_t* key, const std::wstring& value) const {
    if (!Exists()) return;
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
