// The partial data file `<target>.P2P`, its range record `<target>.P2P.ctl`
// and the record last saved durably, `<target>.P2P.ctl.safe`.
#pragma once

#include "p2sp/record/RangeRecord.h"
#include "base/ScopedHandle.h"

#include <windows.h>

#include <cstdint>
#include <string>

// The data file, opened for writing by one task at a time: other openers may
// read it (the page reads its size) but not write it.
class PartFile {
public:
    // 0 on success, else the Win32 error.
    DWORD Open(const std::wstring& path);
    void Close() { file_.reset(); }
    bool Valid() const { return file_.valid(); }
    HANDLE Handle() const { return file_.get(); }
    // Positioned transfers; several threads may call them at once.
    bool WriteAt(uint64_t offset, const void* data, DWORD size);
    bool ReadAt(uint64_t offset, void* data, DWORD size);
    bool Truncate(uint64_t size);
    bool Flush() { return FlushFileBuffers(file_.get()) != FALSE; }
    uint64_t Size() const;

private:
    bool Seek(uint64_t offset);
    ScopedHandle file_;
};

std::wstring PartPathFor(const std::wstring& target);    // target + ".P2P"
std::wstring RecordPathFor(const std::wstring& target);  // target + ".P2P.ctl"
// The record as last saved durably: it and the data it calls flushed reached
// the disk before the call that saved it returned.
std::wstring SafeRecordPathFor(const std::wstring& recordPath);  // recordPath + ".safe"

// Reads and checks the record; false when missing or refused.
bool LoadRecordFile(const std::wstring& path, RangeRecord* record);
// The record at `recordPath`, else the one at its safe path. The frequent
// records are not flushed, so a power cut can leave the current one empty or
// partial; the safe one then still holds what was flushed by its time.
// Either is taken only when the ranges usable at `bootStamp`
// (ResumableRanges) end within `dataSize`, the partial file's size: a
// current record claiming more than the file holds (the file was cut short
// after it) gives way to the safe one rather than the download starting over.
bool LoadResumeRecord(const std::wstring& recordPath, uint64_t dataSize, uint64_t bootStamp, RangeRecord* record);
// Writes `<path>.new` and renames it over `path`, so a reader sees the old
// record or the new one, never a mix. With `flush` the new record reaches the
// disk before the call returns; without, it outlives the process but not a
// system crash (the record's own rules make that safe, see RangeRecord.h).
// A rename refused for a moment (another program has either file open) is
// tried again for up to kRecordRenamePatienceMs.
bool SaveRecordFile(const std::wstring& path, const RangeRecord& record, bool flush = true);
constexpr DWORD kRecordRenamePatienceMs = 200;
uint64_t FileSizeOf(const std::wstring& path);  // 0 when missing
bool FileExists(const std::wstring& path);
