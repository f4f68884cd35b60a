// Flushes the data file off the download path. A flush waits for the disk;
// done inline it would stall every connection at each checkpoint. The
// snapshot handed in names the ranges written before the flush began, so once
// the flush is done they are on disk and a record may call them flushed.
#pragma once

#include "p2sp/record/RangeSet.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>

class DataFlusher {
public:
    DataFlusher() = default;
    ~DataFlusher() { Wait(); }
    DataFlusher(const DataFlusher&) = delete;
    DataFlusher& operator=(const DataFlusher&) = delete;

    bool Busy() const { return worker_.joinable() && !done_.load(); }
    // What runs on the helper once the data is on disk, given the snapshot
    // (the record that may now call it flushed); false fails the flush.
    using AfterFlush = std::function<bool(const RangeSet& flushed)>;

    // Starts flushing `dataFile`, then runs `after` (may be empty); the caller
    // keeps the handle open until Wait.
    void Begin(HANDLE dataFile, RangeSet written, AfterFlush after = AfterFlush());
    // Waits for the flush in flight. True when it succeeded; *flushed then
    // holds its snapshot. False when it failed or none ran.
    bool Wait(RangeSet* flushed = nullptr);

private:
    std::thread worker_;
    std::atomic<bool> done_{false};
    bool ok_ = false;  // written by the helper before done_, read after join
    RangeSet snapshot_;
};
