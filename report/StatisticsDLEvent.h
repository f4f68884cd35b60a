// The download-time recorder: accumulates the milliseconds between task
// starts and stops (game and companion alike) and keeps the total in the
// state file across runs.
#pragma once

#include "engine/DownloadManager.h"
#include "report/StateFile.h"

#include <cstdint>

class CStatisticsDLEvent : public CDownloadManager::ICDownloadManagerCallback {
public:
    // The system multimedia timer: milliseconds, wrapping every 49.7 days.
    typedef uint32_t (*Clock)();

    // Loads the total from the state file; registers with manager when given.
    CStatisticsDLEvent(const CStateFile& state, Clock clock, CDownloadManager* manager);
    // Saves the total to the state file (when it exists).
    ~CStatisticsDLEvent() override;

    int OnTaskState(int state) override;

    uint64_t Total() const { return total_; }
    bool Running() const { return running_; }

private:
    CStateFile state_;
    Clock clock_;
    uint32_t start_ = 0;
    bool running_ = false;
    uint64_t total_ = 0;
};

// The process-wide recorder; creating it binds the download engine.
CStatisticsDLEvent& TheStatisticsDLEvent();

// timeGetTime.
uint32_t MultimediaClock();
