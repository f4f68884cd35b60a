#include "p2sp/record/RecordKeeper.h"

#include "p2sp/record/BootStamp.h"

RecordKeeper::RecordKeeper(std::wstring path) : path_(std::move(path)), safePath_(SafeRecordPathFor(path_)) {}

void RecordKeeper::Reset(const RangeRecord& header, const RangeSet& flushed, const RangeSet& written) {
    flusher_.Wait();
    header_ = header;
    header_.done.Clear();
    header_.written.Clear();
    flushed_ = flushed;
    lastWritten_ = written;
    haveRecord_ = false;
    failing_ = false;
    lastRecord_ = lastFlush_ = GetTickCount();
}

bool RecordKeeper::Save(const RangeSet& written) {
    RangeRecord record = header_;
    record.done = flushed_;
    if (!(written == flushed_)) {
        record.written = written;
        record.bootStamp = CurrentBootStamp();
    }
    if (!SaveRecordFile(path_, record, false)) return false;
    lastWritten_ = written;
    haveRecord_ = true;
    return true;
}

bool RecordKeeper::SaveSafe(const std::wstring& path, RangeRecord header, const RangeSet& flushed) {
    header.done = flushed;
    header.written.Clear();
    return SaveRecordFile(path, header, true);
}

bool RecordKeeper::Update(PartFile& data, const RangeSet& written, bool force) {
    // Unknown-length bodies cannot be resumed, so they get no record.
    if (header_.totalSize == 0 || !data.Valid()) return true;
    if (force) {
        flusher_.Wait();
        if (haveRecord_ && written == lastWritten_ && written == flushed_) return true;
        if (!data.Flush() || !SaveSafe(safePath_, header_, written)) return false;
        flushed_ = written;
        lastRecord_ = lastFlush_ = GetTickCount();
        return Save(written);
    }
    DWORD now = GetTickCount();
    bool saveDue = false;
    if (!flusher_.Busy()) {
        RangeSet flushed;
        if (flusher_.Wait(&flushed)) {
            flushed_ = std::move(flushed);
            saveDue = true;  // the record may now call more bytes flushed
        }
        if (now - lastFlush_ >= kFlushMs && !(written == flushed_)) {
            lastFlush_ = now;
            flusher_.Begin(data.Handle(), written,
                           [path = safePath_, header = header_](const RangeSet& flushed) {
                               return SaveSafe(path, header, flushed);
                           });
        }
    }
    if (now - lastRecord_ < kRecordMs) return true;
    if (!saveDue && haveRecord_ && written == lastWritten_) return true;
    lastRecord_ = now;
    if (Save(written)) {
        failing_ = false;
        return true;
    }
    // Another program may hold the record longer than a save waits for it.
    // The last record saved stands meanwhile (it never claims more than was
    // written); only saves that keep failing fail the download.
    if (!failing_) {
        failing_ = true;
        failingSince_ = now;
    }
    return now - failingSince_ < kRecordFailMs;
}

void RecordKeeper::Forget() {
    flusher_.Wait();
    for (const std::wstring& path : {path_, safePath_}) {
        DeleteFileW(path.c_str());
        DeleteFileW((path + L".new").c_str());
    }
    haveRecord_ = false;
    flushed_.Clear();
    lastWritten_.Clear();
}
