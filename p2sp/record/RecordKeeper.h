// Keeps the range record of a download current. Connections write data and
// mark it done; the keeper, called by the task's own thread, replaces the
// record every few milliseconds so a killed process loses little, and has
// the data flushed about once a second so a system crash loses little more.
//
// Order of events: data is written before a record claims it as written, and
// flushed before a record claims it as flushed. Records are replaced
// atomically (SaveRecordFile). The frequent records are not flushed
// themselves: a kill leaves them with the system, and after a crash the
// boot stamp makes a reader fall back to the flushed ranges (RangeRecord.h).
// A power cut can also leave the frequent record empty or partial, since the
// rename may reach the disk before the bytes; so each flush of the data is
// followed, on the flusher's thread, by a durable record of the flushed
// ranges at the safe path (written through, flushed, renamed through), which
// a reader falls back to (LoadResumeRecord).
#pragma once

#include "p2sp/record/DataFlusher.h"
#include "p2sp/record/PartialFile.h"
#include "p2sp/record/RangeRecord.h"

#include <windows.h>

#include <cstdint>
#include <string>

class RecordKeeper {
public:
    static constexpr DWORD kRecordMs = 10;    // at most this much arrived data is unrecorded
    static constexpr DWORD kFlushMs = 1000;   // at most this much is unflushed
    static constexpr DWORD kRecordFailMs = 5000;  // frequent records failing this long fail the download

    explicit RecordKeeper(std::wstring path);

    // A new base: size, validators and the ranges known to be on disk
    // (`flushed`) and written (`written`, a superset).
    void Reset(const RangeRecord& header, const RangeSet& flushed, const RangeSet& written);
    // Records `written` when due (or at once with `force`, flushing the data
    // first). False when a flush or a forced record failed, or the frequent
    // records have failed for kRecordFailMs.
    bool Update(PartFile& data, const RangeSet& written, bool force);
    // Waits for a flush in flight (before the data file closes or is renamed).
    void Quiesce() { flusher_.Wait(); }
    void Forget();  // deletes both records (start over, or the file is complete)

private:
    bool Save(const RangeSet& written);
    // Writes the durable record of `flushed` (any thread).
    static bool SaveSafe(const std::wstring& path, RangeRecord header, const RangeSet& flushed);

    const std::wstring path_;
    const std::wstring safePath_;
    RangeRecord header_;  // size and validators; its ranges are unused
    RangeSet flushed_;
    RangeSet lastWritten_;
    bool haveRecord_ = false;
    DWORD lastRecord_ = 0;
    DWORD lastFlush_ = 0;
    bool failing_ = false;  // the frequent records have failed since failingSince_
    DWORD failingSince_ = 0;
    DataFlusher flusher_;
};
