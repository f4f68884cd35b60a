// Saves range records off the download path. A checkpoint must flush the
// data file before writing the record that claims it, and a flush waits for
// the disk; done inline it would stall the transfer at every checkpoint.
// Here the flush and the record write run on a helper thread while the
// transfer goes on: the snapshot only claims bytes written before the flush
// began, so the order "data on disk, then record" still holds.
#pragma once

#include "RangeRecord.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

class RecordSaver {
public:
    RecordSaver() = default;
    ~RecordSaver() { Wait(); }
    RecordSaver(const RecordSaver&) = delete;
    RecordSaver& operator=(const RecordSaver&) = delete;

    bool Busy() const { return worker_.joinable() && !done_.load(); }
    // Starts flushing `dataFile` and then saving `snapshot` to `path`. The
    // caller must not close the file before Wait. False when the previous
    // save failed (it is then reported once).
    bool Begin(HANDLE dataFile, const std::wstring& path, RangeRecord snapshot);
    // Waits for the save in flight; false when it failed.
    bool Wait();

private:
    std::thread worker_;
    std::atomic<bool> done_{false};
    bool ok_ = true;  // written by the helper before done_, read after join
};
