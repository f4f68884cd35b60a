#include "system/DefaultFolder.h"

std::wstring PickLargestDrive(ISystemVolumes& volumes, CFolderChecks& checks) {
    const DWORD mask = volumes.LogicalDriveMask();
    std::wstring best;
    uint64_t bestFree = 0;
    for (int bit = 0; bit < 32; ++bit) {
        if (!(mask & (1u << bit))) continue;
        std::wstring drive;
        drive += static_cast<wchar_t>(L'A' + bit);
        drive += L':';
        if (drive == L"A:") continue;
        // FAT32 holds files of at most 4 GiB - 1 byte.
        if (checks.GameSize() >= kFatFileLimit && checks.IsFatVolume(drive)) continue;
        if (!checks.CanCreateAt(drive + L"\\" + checks.FileName())) continue;
        if (!checks.IsOutsideSecurityProducts(drive)) continue;
        uint64_t freeBytes = 0;
        if (!volumes.FreeBytes(drive + L"\\", freeBytes)) continue;
        if (freeBytes > bestFree) {
            best = drive;
            bestFree = freeBytes;
        }
    }
    return best;
}

bool ChooseDefaultFolder(ISystemVolumes& volumes, CFolderChecks& checks, const CStateFile& state,
                         std::wstring& folder) {
    const std::wstring previous = state.GetDir();
    if (!previous.empty() && volumes.Exists(previous)) {
        const std::wstring target = WithTrailingSeparator(previous) + checks.FileName();
        if (volumes.Exists(target + L".P2P") || volumes.Exists(target)) {
            folder = previous;
            return true;
        }
    }
    const std::wstring drive = PickLargestDrive(volumes, checks);
    if (checks.LacksFreeSpace(drive, checks.GameSize())) return false;
    const std::wstring candidate = drive + L"\\download\\";
    if (!volumes.Exists(candidate) && !volumes.MakeDirectory(candidate)) return false;
    folder = candidate;
    return true;
}
