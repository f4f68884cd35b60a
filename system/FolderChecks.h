// Whether a folder can take the game's installer: the volume must not be FAT
// for a file of 4 GiB or more, the folder must be writable and outside the
// security products' folders, and the volume must have room for the file.
#pragma once

#include "system/SystemVolumes.h"

#include <cstdint>
#include <string>

enum class FolderVerdict { Accepted, FatVolume, NoPermission, NoSpace };

// The message shown for a refusal (empty for Accepted).
const wchar_t* FolderVerdictMessage(FolderVerdict verdict);

// Largest file a FAT32 volume can hold is 4 GiB - 1 byte.
constexpr uint64_t kFatFileLimit = 4294967296ULL;

class CFolderChecks {
public:
    CFolderChecks(ISystemVolumes& volumes, std::wstring fileName, uint64_t gameSize)
        : volumes_(volumes), fileName_(std::move(fileName)), gameSize_(gameSize) {}

    // True for a FAT or FAT32 volume, and for a folder that does not exist.
    bool IsFatVolume(const std::wstring& folder);
    // The write test: an existing path must open for writing (it is not
    // changed); otherwise a directory is created there and removed again.
    bool CanCreateAt(const std::wstring& path);
    // False for a security product's folder and every folder below it, the
    // paths compared as Windows compares them (ignoring case, with or without
    // a trailing "\").
    bool IsOutsideSecurityProducts(const std::wstring& folder);
    // True when the volume's free bytes (plus a partial download of the file
    // already in the folder) do not exceed size; a missing folder lacks space.
    bool LacksFreeSpace(const std::wstring& folder, uint64_t size);

    // The check sequence, in its fixed order.
    FolderVerdict Check(const std::wstring& folder);

    uint64_t GameSize() const { return gameSize_; }
    const std::wstring& FileName() const { return fileName_; }

private:
    ISystemVolumes& volumes_;
    std::wstring fileName_;
    uint64_t gameSize_;
};

// folder with a trailing "\" (unchanged when it has one).
std::wstring WithTrailingSeparator(const std::wstring& folder);

// Whether two paths name the same text for the file system: an ordinal
// comparison that ignores case, as Windows compares file names.
bool SamePathText(const std::wstring& a, const std::wstring& b);
