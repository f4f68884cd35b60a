#include "FolderChecks.h"

#include <cwctype>

namespace {

std::wstring Trimmed(const std::wstring& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::iswspace(text[begin])) ++begin;
    while (end > begin && std::iswspace(text[end - 1])) --end;
    return text.substr(begin, end - begin);
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
    if (volumes_.Exists(path)) return true;
    if (!volumes_.MakeDirectory(path)) return false;
    volumes_.RemoveDirectory(path);
    return true;
}

bool CFolderChecks::IsOutsideSecurityProducts(const std::wstring& folder) {
    for (int index = 0; index < 2; ++index) {
        std::wstring product;
        if (!volumes_.SecurityProductPath(index, product)) continue;
        if (folder.size() < product.size() || folder.compare(0, product.size(), product) != 0) continue;
        const bool below = folder.size() > product.size() && folder[product.size()] == L'\\';
        const bool same = folder.size() == product.size() || Trimmed(folder).size() == Trimmed(product).size();
        if (below || same) return false;
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
    if (volumes_.Exists(partial)) freeBytes += volumes_.FileSize(partial);
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
