#include "system/FolderChecks.h"

#include <cwctype>
#include <vector>

namespace {

// A folder as compared: no white space at either end and no trailing "\",
// so "C:\Program Files\Qelvo\" and "C:\Program Files\Qelvo" are one folder.
std::wstring ComparablePath(const std::wstring& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::iswspace(text[begin])) ++begin;
    while (end > begin && std::iswspace(text[end - 1])) --end;
    while (end > begin && text[end - 1] == L'\\') --end;
    return text.substr(begin, end - begin);
}

// The folders a registered application path names: the value may be quoted,
// or a list separated by ";" as the shell writes it.
std::vector<std::wstring> RegisteredFolders(const std::wstring& value) {
    std::vector<std::wstring> folders;
    size_t begin = 0;
    while (begin <= value.size()) {
        size_t end = value.find(L';', begin);
        if (end == std::wstring::npos) end = value.size();
        std::wstring entry = ComparablePath(value.substr(begin, end - begin));
        if (entry.size() >= 2 && entry.front() == L'"' && entry.back() == L'"') {
            entry = ComparablePath(entry.substr(1, entry.size() - 2));
        }
        if (!entry.empty()) folders.push_back(entry);
        begin = end + 1;
    }
    return folders;
}

}  // namespace

const wchar_t* FolderVerdictMessage(FolderVerdict verdict) {
    switch (verdict) {
        case FolderVerdict::FatVolume: return L"磁盘格式为FAT32，无法保存大于4GB的文件，请更换为NTFS格式分区！";
        case FolderVerdict::NoPermission: return L"所选目录没有读写权限，请您重新选择目录!";
        case FolderVerdict::NoSpace: return L"磁盘空间不足，请您重新选择目录!";
        case FolderVerdict::Accepted: break;
    }
    return L"";
}

std::wstring WithTrailingSeparator(const std::wstring& folder) {
    if (!folder.empty() && folder.back() == L'\\') return folder;
    return folder + L"\\";
}

bool CFolderChecks::IsFatVolume(const std::wstring& folder) {
    if (!volumes_.Exists(folder)) return true;
    const size_t colon = folder.find(L':');
    const std::wstring root = (colon == std::wstring::npos ? folder : folder.substr(0, colon + 1)) + L"\\";
    std::wstring fileSystem;
    if (!volumes_.FileSystemName(root, fileSystem)) return false;  // unreadable counts as not FAT
    return fileSystem == L"FAT" || fileSystem == L"FAT32";
}

bool CFolderChecks::CanCreateAt(const std::wstring& path) {
    // An existing file (an earlier download) must take writing as well, or
    // the download fails later instead of the folder being refused now.
    if (volumes_.Exists(path)) return volumes_.CanOpenForWriting(path);
    if (!volumes_.MakeDirectory(path)) return false;
    volumes_.RemoveDirectory(path);
    return true;
}

bool CFolderChecks::IsOutsideSecurityProducts(const std::wstring& folder) {
    for (int index = 0; index < 2; ++index) {
        std::wstring registered;
        if (!volumes_.SecurityProductPath(index, registered)) continue;
        const std::wstring candidate = ComparablePath(folder);
        for (const std::wstring& product : RegisteredFolders(registered)) {
            if (candidate.size() < product.size()) continue;
            if (!SamePathText(candidate.substr(0, product.size()), product)) continue;
            // The product's folder itself, or anything below it; a folder whose
            // name merely begins with the product folder's name is another one.
            if (candidate.size() == product.size() || candidate[product.size()] == L'\\') return false;
        }
    }
    return true;
}

bool CFolderChecks::LacksFreeSpace(const std::wstring& folder, uint64_t size) {
    if (!volumes_.Exists(folder)) return true;
    uint64_t freeBytes = 0;
    if (!volumes_.FreeBytes(folder, freeBytes)) return true;
    // A partial download of this file already holds part of what it needs:
    // its bytes count as free.
    const std::wstring partial = WithTrailingSeparator(folder) + fileName_ + L".P2P";
    if (volumes_.Exists(partial)) freeBytes += volumes_.BytesOnDisk(partial);
    return freeBytes <= size;
}

FolderVerdict CFolderChecks::Check(const std::wstring& folder) {
    // FAT32 holds files of at most 4 GiB - 1 byte.
    if (gameSize_ >= kFatFileLimit && IsFatVolume(folder)) return FolderVerdict::FatVolume;
    const std::wstring probe = WithTrailingSeparator(folder) + fileName_;
    if (!CanCreateAt(probe) || !IsOutsideSecurityProducts(folder)) return FolderVerdict::NoPermission;
    if (LacksFreeSpace(folder, gameSize_)) return FolderVerdict::NoSpace;
    return FolderVerdict::Accepted;
}
