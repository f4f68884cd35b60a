#include "p2sp/record/DataFlusher.h"

void DataFlusher::Begin(HANDLE dataFile, RangeSet written, AfterFlush after) {
    Wait();
    done_ = false;
    ok_ = false;
    snapshot_ = std::move(written);
    worker_ = std::thread([this, dataFile, after = std::move(after)] {
        ok_ = FlushFileBuffers(dataFile) != FALSE && (!after || after(snapshot_));
        done_ = true;
    });
}

bool DataFlusher::Wait(RangeSet* flushed) {
    if (!worker_.joinable()) return false;
    worker_.join();
    bool ok = ok_;
    ok_ = false;
    if (ok && flushed) *flushed = std::move(snapshot_);
    snapshot_.Clear();
    return ok;
}
