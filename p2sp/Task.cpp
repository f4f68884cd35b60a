#include "Task.h"

#include <algorithm>
#include <cstring>
#include <cwctype>

namespace {

constexpr uint64_t kOverlapBytes = 16u << 10;  // re-fetched and compared before a splice
constexpr DWORD kCheckpointMs = 250;         // at most this much arrived data is unrecorded
constexpr DWORD kRetryBudgetMs = 60000;      // transient errors without progress before giving up
constexpr int kRefusedAttempts = 3;          // 4xx answers in a row before giving up
constexpr int kMaxRestarts = 4;              // start-overs in a row without progress

std::wstring UpperCased(std::wstring s) {
    for (wchar_t& c : s) c = wchar_t(std::towupper(c));
    return s;
}

std::string Decimal(uint64_t v) { return std::to_string(static_cast<unsigned long long>(v)); }

bool StorableValidator(const std::string& text, size_t limit) {
    if (text.size() > limit) return false;
    for (char c : text)
        if (c < 0x20 || c > 0x7e) return false;
    return true;
}

}  // namespace

Task::Task(int id, std::wstring url, std::wstring target)
    : id_(id),
      url_(std::move(url)),
      target_(std::move(target)),
      partPath_(PartPathFor(target_)),
      recordPath_(RecordPathFor(target_)),
      targetKey_(UpperCased(target_)) {
    stopEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

Task::~Task() {
    RequestStop();
    Join();
    if (stopEvent_) CloseHandle(stopEvent_);
}

void Task::LoadSavedProgress() {
    RangeRecord saved;
    if (!FileExists(partPath_) || !LoadRecordFile(recordPath_, &saved)) return;
    if (FileSizeOf(partPath_) < saved.done.HighestEnd()) return;
    std::lock_guard<std::mutex> hold(lock_);
    totalBytes_ = saved.totalSize;
    completedBytes_ = saved.done.CoveredBytes();
}

bool Task::Start() {
    if (running_.load() && !stopRequested_.load()) return true;
    Join();  // an earlier run that is still ending
    {
        // Finished and still in place: nothing to fetch again.
        std::lock_guard<std::mutex> hold(lock_);
        if (state_ == P2SP_STATE_FINISHED && FileExists(target_) && !FileExists(partPath_)) return true;
    }
    if (!stopEvent_) return false;
    stopRequested_ = false;
    ResetEvent(stopEvent_);
    SetState(P2SP_STATE_RUNNING);
    running_ = true;
    worker_ = std::thread(&Task::Run, this);
    return true;
}

void Task::RequestStop() {
    stopRequested_ = true;
    if (stopEvent_) SetEvent(stopEvent_);
}

void Task::Join() {
    if (worker_.joinable()) worker_.join();
}

void Task::Query(P2spTaskInfo* info) {
    std::lock_guard<std::mutex> hold(lock_);
    info->totalBytes = totalBytes_;
    info->completedBytes = completedBytes_;
    info->serverSpeed = running_.load() ? speed_.Rate(GetTickCount64()) : 0;
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
    return WaitForSingleObject(stopEvent_, ms) == WAIT_TIMEOUT;
}

void Task::Run() {
    buffer_.resize(ReadSizer::kMaxBytes);
    verifyBuffer_.resize(size_t(kOverlapBytes));
    uint8_t result = P2SP_STATE_RUNNING;
    if (part_.Open(partPath_) != 0) {
        result = P2SP_STATE_LOCAL_FAILED;
    } else {
        if (!LoadUsableRecord() && !StartOver()) {
            result = P2SP_STATE_LOCAL_FAILED;
        } else {
            Publish();
            result = source_.Open() ? Transfer() : uint8_t(P2SP_STATE_SOURCE_FAILED);
        }
    }
    if (result != P2SP_STATE_FINISHED) Checkpoint(true);
    saver_.Wait();
    source_.CloseRequest();
    // A download that failed before its first byte leaves no empty partial
    // file behind: the page would take it for a paused download. A stopped
    // one keeps it, since the page expects it on "continue".
    bool failedEmpty = (result == P2SP_STATE_SOURCE_FAILED || result == P2SP_STATE_LOCAL_FAILED) &&
                       part_.Valid() && record_.done.Empty() && part_.Size() == 0;
    part_.Close();
    if (failedEmpty) DeleteFileW(partPath_.c_str());
    {
        std::lock_guard<std::mutex> hold(lock_);
        state_ = result;
        speed_.Reset();
    }
    running_ = false;
}

uint8_t Task::Transfer() {
    DWORD lastProgress = GetTickCount();
    int transientFailures = 0, refusals = 0, restarts = 0;
    for (;;) {
        if (stopRequested_.load()) return P2SP_STATE_RUNNING;
        ByteRange gap;
        bool complete = record_.totalSize > 0 ? !record_.done.FirstGap(record_.totalSize, &gap) : bodyComplete_;
        if (complete) return Finalize() ? P2SP_STATE_FINISHED : P2SP_STATE_LOCAL_FAILED;

        uint64_t writtenBefore = bytesWritten_;
        Outcome outcome = FetchOnce();
        source_.CloseRequest();
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
        case Outcome::kRestart:
            if (++restarts > kMaxRestarts) return P2SP_STATE_SOURCE_FAILED;
            if (!StartOver()) return P2SP_STATE_LOCAL_FAILED;
            break;
        case Outcome::kRefused:
            if (++refusals >= kRefusedAttempts) return P2SP_STATE_SOURCE_FAILED;
            WaitOrStop(DWORD(500 * refusals));
            break;
        case Outcome::kTransient: {
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

Task::Outcome Task::FetchOnce() {
    bodyComplete_ = false;
    const bool resume = record_.totalSize > 0 && !record_.done.Empty();
    uint64_t from = 0, overlap = 0, end = 0;
    std::string headers;
    if (resume) {
        ByteRange gap;
        record_.done.FirstGap(record_.totalSize, &gap);
        // Fetch a little of what is already on disk again and compare it: a
        // source that changed without changing its validator is caught here.
        overlap = std::min(kOverlapBytes, record_.done.RunEndingAt(gap.begin));
        from = gap.begin - overlap;
        end = gap.end;
        headers = "Range: bytes=" + Decimal(from) + "-" +
                  (end < record_.totalSize ? Decimal(end - 1) : std::string()) + "\r\n";
        if (IsStrongEtag(record_.etag))
            headers += "If-Range: " + record_.etag + "\r\n";
        else if (!record_.lastModified.empty())
            headers += "If-Range: " + record_.lastModified + "\r\n";
    }
    HttpReply reply;
    if (!source_.Send(url_, headers, &reply))
        return source_.FailureIsPermanent() ? Outcome::kRefused : Outcome::kTransient;

    if (reply.status == 206 && resume) {
        if (!reply.hasRange || reply.range.first != from || reply.range.total != record_.totalSize)
            return Outcome::kRestart;
        bool sameSource = !record_.etag.empty()           ? reply.etag == record_.etag
                          : !record_.lastModified.empty() ? reply.lastModified == record_.lastModified
                                                          : true;
        if (!sameSource) return Outcome::kRestart;
        end = std::min(end, reply.range.last + 1);
        return ReadBody(from, end, true, from + overlap);
    }
    if (reply.status == 200) {
        // A whole body: either the first request, or the server ignored our
        // range, or the file changed (If-Range). Either way, from byte 0.
        if (!record_.done.Empty() && !StartOver()) return Outcome::kLocalError;
        record_.totalSize = reply.hasLength ? reply.length : 0;
        record_.etag = StorableValidator(reply.etag, kRecordMaxEtag) ? reply.etag : std::string();
        record_.lastModified =
            StorableValidator(reply.lastModified, kRecordMaxLastModified) ? reply.lastModified : std::string();
        Publish();
        if (reply.hasLength && reply.length == 0) {
            bodyComplete_ = true;
            return Outcome::kProgress;
        }
        return ReadBody(0, record_.totalSize, reply.hasLength, 0);
    }
    if (reply.status == 416) return Outcome::kRestart;  // the file shrank
    if (reply.status == 408 || reply.status == 429 || reply.status >= 500) return Outcome::kTransient;
    return Outcome::kRefused;
}

Task::Outcome Task::ReadBody(uint64_t offset, uint64_t end, bool lengthKnown, uint64_t verifyEnd) {
    ReadSizer sizer;
    while (!lengthKnown || offset < end) {
        if (stopRequested_.load()) return Outcome::kStopped;
        DWORD want = sizer.Size();
        if (lengthKnown) want = DWORD(std::min<uint64_t>(want, end - offset));
        DWORD got = 0;
        ULONGLONG readStart = GetTickCount64();
        if (!source_.Read(buffer_.data(), want, &got)) return Outcome::kTransient;
        sizer.Observe(want, got, GetTickCount64() - readStart);
        if (got == 0) {
            if (lengthKnown) return Outcome::kTransient;  // closed early
            record_.totalSize = offset;
            bodyComplete_ = true;
            return Outcome::kProgress;
        }
        const uint8_t* data = buffer_.data();
        DWORD left = got;
        if (offset < verifyEnd) {
            DWORD n = DWORD(std::min<uint64_t>(left, verifyEnd - offset));
            if (!part_.ReadAt(offset, verifyBuffer_.data(), n) || memcmp(verifyBuffer_.data(), data, n) != 0)
                return Outcome::kRestart;
            offset += n;
            data += n;
            left -= n;
        }
        if (left > 0) {
            if (!part_.WriteAt(offset, data, left)) return Outcome::kLocalError;
            record_.done.Add(offset, offset + left);
            offset += left;
            bytesWritten_ += left;
            recordDirty_ = true;
        }
        {
            std::lock_guard<std::mutex> hold(lock_);
            speed_.Add(got, GetTickCount64());
            completedBytes_ = record_.done.CoveredBytes();
            if (!lengthKnown) totalBytes_ = 0;
        }
        if (!Checkpoint(false)) return Outcome::kLocalError;
    }
    return Outcome::kProgress;
}

bool Task::Checkpoint(bool force) {
    // Unknown-length bodies cannot be resumed, so they get no record.
    if (!recordDirty_ || record_.totalSize == 0 || !part_.Valid()) return true;
    DWORD now = GetTickCount();
    if (!force) {
        if (now - lastCheckpointTick_ < kCheckpointMs || saver_.Busy()) return true;
        lastCheckpointTick_ = now;
        recordDirty_ = false;
        return saver_.Begin(part_.Handle(), recordPath_, record_);
    }
    // On stop, retry and error paths: at once, after any save in flight.
    // Data first, then the record that claims it.
    if (!saver_.Wait()) return false;
    lastCheckpointTick_ = now;
    if (!part_.Flush() || !SaveRecordFile(recordPath_, record_)) return false;
    recordDirty_ = false;
    return true;
}

bool Task::LoadUsableRecord() {
    RangeRecord saved;
    if (!LoadRecordFile(recordPath_, &saved)) return false;
    if (part_.Size() < saved.done.HighestEnd()) return false;  // data the record claims is gone
    record_ = std::move(saved);
    recordDirty_ = false;
    return true;
}

bool Task::StartOver() {
    // The record goes first: without it nothing in the data file is trusted.
    saver_.Wait();  // a save in flight would bring the old record back
    DeleteFileW(recordPath_.c_str());
    record_ = RangeRecord();
    recordDirty_ = false;
    bodyComplete_ = false;
    Publish();
    return part_.Truncate(0);
}

bool Task::Finalize() {
    saver_.Wait();  // its record is obsolete; only its use of the file matters
    if (!part_.Flush()) return false;
    if (part_.Size() != record_.totalSize && !part_.Truncate(record_.totalSize)) return false;
    part_.Close();
    if (!MoveFileExW(partPath_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return false;
    DeleteFileW(recordPath_.c_str());
    DeleteFileW((recordPath_ + L".new").c_str());
    Publish();
    return true;
}
