// The task's life: its worker thread, the retry loop, the record, and what
// QueryTask shows.
#include "p2sp/Task.h"

#include "p2sp/metalink/Metalink.h"
#include "p2sp/record/BootStamp.h"
#include "p2sp/TaskLimits.h"

#include <algorithm>
#include <cwctype>
#include <set>

namespace {

constexpr DWORD kRetryBudgetMs = 60000;  // transient errors without progress before giving up
constexpr int kRefusedAttempts = 3;      // 4xx answers in a row before giving up
constexpr int kMaxRestarts = 4;          // start-overs in a row without progress
constexpr int kMaxBadFinishes = 3;       // whole-file checks failing in a row: the disk is not keeping data
constexpr DWORD kTargetWaitMs = 50;

std::wstring UpperCased(std::wstring s) {
    for (wchar_t& c : s) c = wchar_t(std::towupper(c));
    return s;
}

// One writer per file across tasks. A task started while another task's
// worker still ends on the same file waits for it here, on its own thread,
// so that no exported call waits.
std::mutex targetsLock;
std::set<std::wstring> targetsInUse;

bool EnterTarget(const std::wstring& key, HANDLE stop) {
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(targetsLock);
            if (targetsInUse.insert(key).second) return true;
        }
        if (WaitForSingleObject(stop, kTargetWaitMs) == WAIT_OBJECT_0) return false;
    }
}

void LeaveTarget(const std::wstring& key) {
    std::lock_guard<std::mutex> hold(targetsLock);
    targetsInUse.erase(key);
}

}  // namespace

Task::Task(int id, std::wstring url, std::wstring target)
    : id_(id),
      url_(std::move(url)),
      target_(std::move(target)),
      partPath_(PartPathFor(target_)),
      recordPath_(RecordPathFor(target_)),
      targetKey_(UpperCased(target_)),
      keeper_(recordPath_) {
    stopEvent_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    sources_.emplace_back(new SourceStats(0, url_));
}

Task::~Task() {
    RequestStop();
    Join();
    EndSwarm();
}

bool Task::IsWriting() const {
    std::lock_guard<std::mutex> hold(runLock_);
    return running_ && !stopRequested_.load();
}

void Task::LoadSavedProgress() {
    RangeRecord saved;
    const uint64_t boot = CurrentBootStamp();
    if (!FileExists(partPath_) || !LoadResumeRecord(recordPath_, FileSizeOf(partPath_), boot, &saved)) return;
    const RangeSet& usable = ResumableRanges(saved, boot);
    std::lock_guard<std::mutex> hold(lock_);
    totalBytes_ = saved.totalSize;
    completedBytes_ = usable.CoveredBytes();
}

bool Task::Start(const std::wstring& seedUrl, const SwarmOptions& swarmOptions) {
    if (!stopEvent_) return false;
    std::lock_guard<std::mutex> hold(runLock_);
    if (running_ && !stopRequested_.load()) return true;
    seedUrl_ = seedUrl;
    swarmOptions_ = swarmOptions;
    seedingStopped_ = false;
    if (running_) {
        // Still ending after a stop: the worker runs again when it has ended.
        startAgain_ = true;
        return true;
    }
    if (FinishedInPlace()) return true;
    SetState(P2SP_STATE_RUNNING);
    if (worker_.joinable()) worker_.join();  // it has ended: at once
    stopRequested_ = false;
    ResetEvent(stopEvent_.get());
    running_ = true;
    try {
        worker_ = std::thread(&Task::Work, this);
    } catch (...) {
        running_ = false;
        return false;
    }
    return true;
}

void Task::RequestStop() {
    std::lock_guard<std::mutex> hold(runLock_);
    startAgain_ = false;
    stopRequested_ = true;
    if (stopEvent_) SetEvent(stopEvent_.get());
}

void Task::Join() {
    std::thread ending;
    {
        std::lock_guard<std::mutex> hold(runLock_);
        ending.swap(worker_);
    }
    if (ending.joinable()) ending.join();
}

void Task::Work() {
    for (;;) {
        if (EnterTarget(targetKey_, stopEvent_.get())) {
            Run();
            LeaveTarget(targetKey_);
        }
        std::lock_guard<std::mutex> hold(runLock_);
        if (!startAgain_) {
            running_ = false;
            return;
        }
        startAgain_ = false;
        stopRequested_ = false;
        ResetEvent(stopEvent_.get());
    }
}

void Task::Query(P2spTaskInfo* info) {
    const bool running = [&] {
        std::lock_guard<std::mutex> hold(runLock_);
        return running_;
    }();
    std::lock_guard<std::mutex> hold(lock_);
    info->totalBytes = totalBytes_;
    info->completedBytes = completedBytes_;
    uint64_t now = GetTickCount64();
    uint64_t speed = 0;
    P2spSourceInfo* out = info->sources;
    info->sourceCount = uint8_t(std::min(sources_.size(), size_t(P2SP_MAX_SOURCE_INFO)));
    for (size_t i = 0; i < sources_.size(); ++i) {
        SourceStats& s = *sources_[i];
        uint32_t rate = running ? s.Rate(now) : 0;
        speed += rate;
        if (i >= P2SP_MAX_SOURCE_INFO) continue;
        out[i].bytes = s.bytes.load();
        out[i].rate = rate;
        out[i].connections = uint16_t(s.connections.load());
        out[i].maxConnections = uint16_t(s.maxConnections.load());
        out[i].badPieces = uint16_t(s.badPieces.load());
        out[i].dropped = s.dropped.load() ? 1 : 0;
    }
    info->serverSpeed = uint32_t(std::min<uint64_t>(speed, 0xFFFFFFFFu));
    info->peerSpeed = 0;
    info->state = state_;
}

void Task::SetState(uint8_t state) {
    std::lock_guard<std::mutex> hold(lock_);
    state_ = state;
}

void Task::Publish() {
    std::lock_guard<std::mutex> hold(lock_);
    totalBytes_ = record_.totalSize;
    completedBytes_ = record_.done.CoveredBytes();
}

bool Task::WaitOrStop(DWORD ms) {
    return WaitForSingleObject(stopEvent_.get(), ms) == WAIT_TIMEOUT;
}

bool Task::FinishedInPlace() {
    std::lock_guard<std::mutex> hold(lock_);
    return state_ == P2SP_STATE_FINISHED && FileExists(target_) && !FileExists(partPath_);
}

void Task::Run() {
    if (FinishedInPlace()) return;  // nothing to fetch again
    SetState(P2SP_STATE_RUNNING);
    buffer_.resize(kReadBufferBytes);
    verifyBuffer_.resize(size_t(kOverlapBytes));
    http_.reset(new HttpSource);
    uint8_t result = P2SP_STATE_RUNNING;
    if (part_.Open(partPath_) != 0) {
        result = P2SP_STATE_LOCAL_FAILED;
    } else {
        if (!LoadUsableRecord() && !StartOver()) {
            result = P2SP_STATE_LOCAL_FAILED;
        } else {
            Publish();
            if (!seedUrl_.empty()) seedLoaded_ = LoadSeed(seedUrl_, url_, target_, &seed_, &torrent_);
            result = http_->Open() ? Transfer() : uint8_t(P2SP_STATE_SOURCE_FAILED);
        }
    }
    if (result != P2SP_STATE_FINISHED) {
        EndSwarm();  // a paused or failed download gives nothing either
        Checkpoint(true);
    }
    keeper_.Quiesce();
    http_->CloseRequest();
    // A download that failed before its first byte leaves no empty partial
    // file behind: the page would take it for a paused download. A stopped
    // one keeps it, since the page expects it on "continue".
    bool failedEmpty = (result == P2SP_STATE_SOURCE_FAILED || result == P2SP_STATE_LOCAL_FAILED) &&
                       part_.Valid() && record_.done.Empty() && part_.Size() == 0;
    part_.Close();
    if (failedEmpty) DeleteFileW(partPath_.c_str());
    SetState(result);
}

uint8_t Task::Transfer() {
    DWORD lastProgress = GetTickCount();
    int transientFailures = 0, refusals = 0, restarts = 0, badFinishes = 0;
    for (;;) {
        if (stopRequested_.load()) return P2SP_STATE_RUNNING;
        ByteRange gap;
        bool complete = record_.totalSize > 0 ? !record_.done.FirstGap(record_.totalSize, &gap) : bodyComplete_;
        if (complete) {
            switch (Finalize()) {
            case Finish::kRenamed: return P2SP_STATE_FINISHED;
            case Finish::kStopped: return P2SP_STATE_RUNNING;
            case Finish::kLocalError: return P2SP_STATE_LOCAL_FAILED;
            case Finish::kPiecesBad:
                // Fetched again; a disk that keeps losing verified data fails the task.
                if (++badFinishes > kMaxBadFinishes) return P2SP_STATE_LOCAL_FAILED;
                continue;
            }
        }

        uint64_t writtenBefore = bytesWritten_;
        Outcome outcome = FetchOnce();
        http_->CloseRequest();
        bool progressed = bytesWritten_ > writtenBefore;
        if (progressed) {
            lastProgress = GetTickCount();
            transientFailures = refusals = restarts = 0;
        }
        switch (outcome) {
        case Outcome::kProgress:
            break;
        case Outcome::kStopped:
            return P2SP_STATE_RUNNING;
        case Outcome::kLocalError:
            return P2SP_STATE_LOCAL_FAILED;
        case Outcome::kSeedMismatch:
            // The seed describes another file: forget it and what came with it.
            seedLoaded_ = seedActive_ = false;
            torrent_.present = false;
            for (auto& s : sources_)
                if (s->index != 0) s->dropped = true;
            if (!StartOver()) return P2SP_STATE_LOCAL_FAILED;
            break;
        case Outcome::kRestart:
            if (++restarts > kMaxRestarts) return P2SP_STATE_SOURCE_FAILED;
            if (!StartOver()) return P2SP_STATE_LOCAL_FAILED;
            break;
        case Outcome::kRefused:
            if (SwarmCarries()) {
                refusals = transientFailures = 0;
                lastProgress = GetTickCount();
                break;
            }
            if (stopRequested_.load()) return P2SP_STATE_RUNNING;
            if (++refusals >= kRefusedAttempts) return P2SP_STATE_SOURCE_FAILED;
            WaitOrStop(DWORD(500 * refusals));
            break;
        case Outcome::kTransient: {
            if (SwarmCarries()) {
                refusals = transientFailures = 0;
                lastProgress = GetTickCount();
                break;
            }
            if (stopRequested_.load()) return P2SP_STATE_RUNNING;
            if (GetTickCount() - lastProgress > kRetryBudgetMs) return P2SP_STATE_SOURCE_FAILED;
            // A connection that delivered data is retried at once; repeated
            // failures back off 0.5, 1, 2, 4, 8, 8... seconds.
            DWORD delay = progressed ? 100 : DWORD(500u << std::min(transientFailures, 4));
            ++transientFailures;
            if (!Checkpoint(true)) return P2SP_STATE_LOCAL_FAILED;
            WaitOrStop(delay);
            break;
        }
        }
    }
}

bool Task::Checkpoint(bool force) {
    return keeper_.Update(part_, record_.done, force);
}

bool Task::LoadUsableRecord() {
    RangeRecord saved;
    const uint64_t boot = CurrentBootStamp();
    // A record claiming data the file no longer holds is passed over.
    if (!LoadResumeRecord(recordPath_, part_.Size(), boot, &saved)) return false;
    RangeSet usable = ResumableRanges(saved, boot);
    RangeSet flushed = saved.done;
    record_ = std::move(saved);
    record_.done = usable;
    record_.written.Clear();
    keeper_.Reset(record_, flushed, usable);
    return true;
}

bool Task::StartOver() {
    EndSwarm();  // it writes into the file about to be emptied
    // The record goes first: without it nothing in the data file is trusted.
    keeper_.Forget();
    record_ = RangeRecord();
    keeper_.Reset(record_, RangeSet(), RangeSet());
    map_.Clear();
    bodyComplete_ = false;
    Publish();
    return part_.Truncate(0);
}
