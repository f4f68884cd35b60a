// The facts about drives and folders that the save-location checks and the
// default-folder choice rely on, behind one interface so that tests can
// stand in for FAT32 volumes, full disks, extra drives and installed
// security products.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class ISystemVolumes {
public:
    virtual ~ISystemVolumes() = default;
    // Bit 0 is drive A.
    virtual DWORD LogicalDriveMask() = 0;
    // File system name of the volume at root ("C:\"); false when unreadable.
    virtual bool FileSystemName(const std::wstring& root, std::wstring& name) = 0;
    // Total free bytes of the volume holding path (not the caller's quota).
    virtual bool FreeBytes(const std::wstring& path, uint64_t& freeBytes) = 0;
    // The installation folder of security product 0 or 1, as registered
    // (environment variables in it expanded).
    virtual bool SecurityProductPath(int index, std::wstring& path) = 0;
    virtual bool Exists(const std::wstring& path) = 0;
    // Whether an existing file opens for writing (with every kind of sharing,
    // closed again at once, its contents untouched). False for a folder.
    virtual bool CanOpenForWriting(const std::wstring& path) = 0;
    virtual bool MakeDirectory(const std::wstring& path) = 0;
    virtual bool RemoveDirectory(const std::wstring& path) = 0;
    // The bytes an existing file takes on its volume, 0 when missing: its
    // size, or for a sparse file (a partial download) only what was written.
    virtual uint64_t BytesOnDisk(const std::wstring& path) = 0;
};

// The real facts, from the platform.
ISystemVolumes& PlatformVolumes();

// Registry keys (HKEY_LOCAL_MACHINE, value "path") of the two security
// products whose folders are never used for downloads.
extern const wchar_t* const kSecurityProductKeys[2];
