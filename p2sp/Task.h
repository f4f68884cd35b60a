// One download task: a URL, a target path and, while running, one worker
// thread that fills `<target>.P2P` and keeps its range record current.
#pragma once

#include "HttpSource.h"
#include "P2spApi.h"
#include "PartialFile.h"
#include "ReadSizer.h"
#include "RecordSaver.h"
#include "RangeRecord.h"
#include "SpeedMeter.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class Task {
public:
    Task(int id, std::wstring url, std::wstring target);
    ~Task();  // stops the worker and waits for it
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;

    // Reads the range record of an existing partial file so that progress
    // shows before the task starts. Touches no data.
    void LoadSavedProgress();
    // Starts the worker unless it already runs. False when it cannot start.
    bool Start();
    // Asks the worker to stop; it saves its record and ends soon after.
    void RequestStop();
    void Join();
    // True while the worker runs and has not been asked to stop.
    bool IsWriting() const { return running_.load() && !stopRequested_.load(); }
    // True while the worker runs, even when asked to stop.
    bool IsRunning() const { return running_.load(); }
    void Query(P2spTaskInfo* info);
    const std::wstring& TargetKey() const { return targetKey_; }

private:
    // What one request to the source came to.
    enum class Outcome { kProgress, kStopped, kRestart, kTransient, kRefused, kLocalError };

    void Run();
    uint8_t Transfer();  // the retry loop; returns the final state
    Outcome FetchOnce();
    // Reads the body into [offset, end); bytes below verifyEnd must equal
    // what is on disk already.
    Outcome ReadBody(uint64_t offset, uint64_t end, bool lengthKnown, uint64_t verifyEnd);
    bool Finalize();
    bool StartOver();
    bool Checkpoint(bool force);
    bool LoadUsableRecord();
    bool WaitOrStop(DWORD ms);
    void Publish();
    void SetState(uint8_t state);

    const int id_;
    const std::wstring url_;
    const std::wstring target_;
    const std::wstring partPath_;
    const std::wstring recordPath_;
    const std::wstring targetKey_;  // upper-cased path, to find tasks sharing a target

    std::thread worker_;
    HANDLE stopEvent_ = nullptr;  // owned; manual reset
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> running_{false};

    // Worker-only state.
    PartFile part_;
    RecordSaver saver_;  // after part_: finishes with the file before it closes
    HttpSource source_;
    RangeRecord record_;
    bool bodyComplete_ = false;  // a body of unknown or zero length ended cleanly
    bool recordDirty_ = false;
    uint64_t bytesWritten_ = 0;
    DWORD lastCheckpointTick_ = 0;
    std::vector<uint8_t> buffer_;
    std::vector<uint8_t> verifyBuffer_;

    // Shared with QueryTask, guarded by lock_.
    std::mutex lock_;
    uint64_t totalBytes_ = 0;
    uint64_t completedBytes_ = 0;
    uint8_t state_ = P2SP_STATE_RUNNING;
    SpeedMeter speed_;
};
