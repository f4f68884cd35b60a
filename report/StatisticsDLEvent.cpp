#include "report/StatisticsDLEvent.h"

#include <windows.h>

#include <mmsystem.h>

uint32_t MultimediaClock() { return ::timeGetTime(); }

CStatisticsDLEvent::CStatisticsDLEvent(const CStateFile& state, Clock clock, CDownloadManager* manager)
    : state_(state), clock_(clock), total_(state.GetDownloadTotalTime()) {
    if (manager) manager->SetCallback(this);
}

CStatisticsDLEvent::~CStatisticsDLEvent() { state_.SetDownloadTotalTime(total_); }

int CStatisticsDLEvent::OnTaskState(int state) {
    if (state == CDownloadManager::TASK_STARTED) {
        start_ = clock_();  // a second start restarts the interval
        running_ = true;
    } else if (state == CDownloadManager::TASK_STOPPED && running_) {
        // Unsigned 32-bit difference: right across the timer's wrap.
        total_ += static_cast<uint32_t>(clock_() - start_);
        running_ = false;
    }
    return 0;
}

CStatisticsDLEvent& TheStatisticsDLEvent() {
    static CStatisticsDLEvent recorder(CStateFile(), &MultimediaClock, &CDownloadManager::GetInstance());
    return recorder;
}
