#include "RecordSaver.h"

#include "PartialFile.h"

bool RecordSaver::Begin(HANDLE dataFile, const std::wstring& path, RangeRecord snapshot) {
    if (!Wait()) return false;
    done_ = false;
    ok_ = true;
    worker_ = std::thread([this, dataFile, path, record = std::move(snapshot)] {
        ok_ = FlushFileBuffers(dataFile) && SaveRecordFile(path, record);
        done_ = true;
    });
    return true;
}

bool RecordSaver::Wait() {
    if (!worker_.joinable()) return true;
    worker_.join();
    bool ok = ok_;
    ok_ = true;
    return ok;
}
