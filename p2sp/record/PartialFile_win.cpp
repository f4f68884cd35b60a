#include "p2sp/record/PartialFile.h"

#include "p2sp/record/RenameOver.h"

#include <winioctl.h>

#include <vector>

DWORD PartFile::Open(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError() ? GetLastError() : ERROR_OPEN_FAILED;
    file_.reset(h);
    // Connections write far apart from the start (the last of 16 segments
    // begins 15/16 into the file). In an ordinary NTFS file a write past the
    // end of the data written so far first fills the gap with zeros, inside
    // that write: gigabytes written twice, and a connection stalled while
    // the disk does it. A sparse file leaves the gap unallocated until it is
    // written. A file system without sparse files refuses, and nothing
    // changes; the data is the same either way.
    DWORD returned = 0;
    DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    return 0;
}

bool PartFile::Seek(uint64_t offset) {
    LARGE_INTEGER pos;
    pos.QuadPart = LONGLONG(offset);
    return SetFilePointerEx(file_.get(), pos, nullptr, FILE_BEGIN) != FALSE;
}

namespace {

// An offset for a positioned transfer on a handle opened without
// FILE_FLAG_OVERLAPPED: the call still completes before it returns, and
// threads writing different offsets do not race on a shared file pointer.
OVERLAPPED At(uint64_t offset) {
    OVERLAPPED at;
    ZeroMemory(&at, sizeof(at));
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    return at;
}

}  // namespace

bool PartFile::WriteAt(uint64_t offset, const void* data, DWORD size) {
    OVERLAPPED at = At(offset);
    DWORD written = 0;
    return WriteFile(file_.get(), data, size, &written, &at) && written == size;
}

bool PartFile::ReadAt(uint64_t offset, void* data, DWORD size) {
    OVERLAPPED at = At(offset);
    DWORD got = 0;
    return ReadFile(file_.get(), data, size, &got, &at) && got == size;
}

bool PartFile::Truncate(uint64_t size) {
    return Seek(size) && SetEndOfFile(file_.get());
}

uint64_t PartFile::Size() const {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file_.get(), &size)) return 0;
    return uint64_t(size.QuadPart);
}

std::wstring PartPathFor(const std::wstring& target) { return target + L".P2P"; }
std::wstring RecordPathFor(const std::wstring& target) { return target + L".P2P.ctl"; }
std::wstring SafeRecordPathFor(const std::wstring& recordPath) { return recordPath + L".safe"; }

bool LoadResumeRecord(const std::wstring& recordPath, uint64_t dataSize, uint64_t bootStamp, RangeRecord* record) {
    for (const std::wstring& path : {recordPath, SafeRecordPathFor(recordPath)}) {
        RangeRecord loaded;
        if (!LoadRecordFile(path, &loaded) || ResumableRanges(loaded, bootStamp).HighestEnd() > dataSize) continue;
        *record = std::move(loaded);
        return true;
    }
    return false;
}

bool LoadRecordFile(const std::wstring& path, RangeRecord* record) {
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 ||
        uint64_t(size.QuadPart) > kRecordMaxBytes)
        return false;
    std::vector<uint8_t> bytes(size_t(size.QuadPart));
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data(), DWORD(bytes.size()), &got, nullptr) || got != bytes.size())
        return false;
    return DecodeRangeRecord(bytes.data(), bytes.size(), record) == RecordError::kNone;
}

bool SaveRecordFile(const std::wstring& path, const RangeRecord& record, bool flush) {
    std::vector<uint8_t> bytes = EncodeRangeRecord(record);
    std::wstring temp = path + L".new";
    {
        ScopedHandle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr) ||
            written != bytes.size() || (flush && !FlushFileBuffers(file.get())))
            return false;
    }
    // A scanner that opened the new record for a moment gets a fifth of a
    // second; a keeper that saves every few milliseconds tries again anyway.
    return RenameOver(temp, path, flush ? MOVEFILE_WRITE_THROUGH : 0, kRecordRenamePatienceMs, [](DWORD ms) {
               Sleep(ms);
               return true;
           }) == 0;
}

uint64_t FileSizeOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool FileExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
