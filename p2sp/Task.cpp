#include "p2sp/Task.h"

#include "p2sp/record/BootStamp.h"
#include "p2sp/http/HttpHeaders.h"
#include "p2sp/metalink/Metalink.h"
#include "p2sp/http/ReadSizer.h"
#include "p2sp/swarm/SwarmTrace.h"
#include "p2sp/swarm/TorrentSeed.h"

#include <bcrypt.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <iterator>

namespace {

constexpr uint64_t kOverlapBytes = 16u << 10;  // re-fetched and compared before a splice
constexpr uint64_t kFirstRequestBytes = 1u << 20;  // asked for before the size is known
constexpr uint64_t kBytesPerConnection = 1u << 20;  // a connection for every MiB missing...
constexpr int kMaxConnectionsPerSource = 16;       // ... up to this many per server
constexpr uint64_t kMinSplit = 512u << 10;   // a re-split leaves both halves at least this long
constexpr DWORD kPollMs = 10;                // the record and progress figures while connections run
constexpr DWORD kRetryBudgetMs = 60000;      // transient errors without progress before giving up
constexpr int kRefusedAttempts = 3;          // 4xx answers in a row before giving up
constexpr int kMaxRestarts = 4;              // start-overs in a row without progress
constexpr size_t kMaxSources = 8;            // the task's URL and up to seven mirrors
constexpr DWORD kSwarmAloneMs = 20000;       // peers alone, before the task's URL is tried again
constexpr uint64_t kSwarmSegmentBytes = 256u << 10;  // the longest HTTP claim while peers share the file
constexpr int kSwarmConnectionsPerSource = 2;
constexpr DWORD kSwarmPeerWaitMs = 10000;  // without a peer by then, HTTP gets all its connections

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

// Whole pieces inside `ranges`: with pieces checked, only they count as done.
RangeSet WholePieces(const RangeSet& ranges, uint64_t pieceLength, uint64_t total) {
    RangeSet whole;
    for (const ByteRange& r : ranges.Ranges()) {
        uint64_t begin = (r.begin + pieceLength - 1) / pieceLength * pieceLength;
        uint64_t end = r.end == total ? total : r.end / pieceLength * pieceLength;
        if (begin < end) whole.Add(begin, end);
    }
    return whole;
}

int ConnectionsFor(uint64_t missing) {
    uint64_t n = missing / kBytesPerConnection;
    return int(std::max<uint64_t>(1, std::min<uint64_t>(n, kMaxConnectionsPerSource)));
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

bool Task::IsRunning() const {
    if (running_.load()) return true;
    std::lock_guard<std::mutex> hold(swarmLock_);
    return swarm_ && swarm_->Running();
}

void Task::RequestStopSeeding() {
    seedingStopped_ = true;
    std::lock_guard<std::mutex> hold(swarmLock_);
    if (swarm_) swarm_->RequestStop();
}

void Task::StartSwarm() {
    std::lock_guard<std::mutex> hold(swarmLock_);
    if (swarm_ || !torrent_.present || seedingStopped_.load()) return;
    storage_.AttachPart(&part_);
    swarm_.reset(new Swarm(torrent_.meta, torrent_.infoHash, swarmOptions_, &map_, &storage_));
    swarm_->Start();
}

void Task::SeedFinishedFile() {
    // Complete before any round ran (a kill after the last piece, before
    // the rename): the swarm starts here, so the file is seeded like one
    // finished in this run. After a round the swarm is running already.
    if (!torrent_.present || record_.totalSize == 0 || seedingStopped_.load()) return;
    {
        std::lock_guard<std::mutex> hold(swarmLock_);
        if (swarm_) return;
    }
    if (!seedActive_) MatchSeed();
    if (!seedActive_) return;
    SegmentMap::Plan plan;
    plan.totalSize = record_.totalSize;
    plan.unit = seed_.pieceLength;
    plan.minSplit = kMinSplit;
    map_.Reset(plan, record_.done);
    StartSwarm();
}

void Task::EndSwarm() {
    std::unique_ptr<Swarm> ending;
    {
        std::lock_guard<std::mutex> hold(swarmLock_);
        ending = std::move(swarm_);
    }
    ending.reset();  // joins its thread
    storage_.Detach();
}

void Task::LoadSavedProgress() {
    RangeRecord saved;
    if (!FileExists(partPath_) || !LoadResumeRecord(recordPath_, &saved)) return;
    const RangeSet& usable = ResumableRanges(saved, CurrentBootStamp());
    if (FileSizeOf(partPath_) < usable.HighestEnd()) return;
    std::lock_guard<std::mutex> hold(lock_);
    totalBytes_ = saved.totalSize;
    completedBytes_ = usable.CoveredBytes();
}

bool Task::Start(const std::wstring& seedUrl, const SwarmOptions& swarmOptions) {
    if (running_.load() && !stopRequested_.load()) return true;
    Join();  // an earlier run that is still ending
    {
        // Finished and still in place: nothing to fetch again.
        std::lock_guard<std::mutex> hold(lock_);
        if (state_ == P2SP_STATE_FINISHED && FileExists(target_) && !FileExists(partPath_)) return true;
    }
    if (!stopEvent_) return false;
    seedUrl_ = seedUrl;
    swarmOptions_ = swarmOptions;
    seedingStopped_ = false;
    stopRequested_ = false;
    ResetEvent(stopEvent_.get());
    SetState(P2SP_STATE_RUNNING);
    running_ = true;
    worker_ = std::thread(&Task::Run, this);
    return true;
}

void Task::RequestStop() {
    stopRequested_ = true;
    if (stopEvent_) SetEvent(stopEvent_.get());
}

void Task::Join() {
    if (worker_.joinable()) worker_.join();
}

void Task::Query(P2spTaskInfo* info) {
    std::lock_guard<std::mutex> hold(lock_);
    info->totalBytes = totalBytes_;
    info->completedBytes = completedBytes_;
    uint64_t now = GetTickCount64();
    uint64_t speed = 0;
    P2spSourceInfo* out = info->sources;
    info->sourceCount = uint8_t(std::min(sources_.size(), size_t(P2SP_MAX_SOURCE_INFO)));
    for (size_t i = 0; i < sources_.size(); ++i) {
        SourceStats& s = *sources_[i];
        uint32_t rate = running_.load() ? s.Rate(now) : 0;
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

void Task::QuerySwarm(P2spTaskInfo* info) {
    std::lock_guard<std::mutex> hold(swarmLock_);
    if (!swarm_) return;
    SwarmFigures f = swarm_->Figures();
    info->peerSpeed = swarm_->Running() ? f.downloadRate : 0;
    info->swarm.peerBytes = f.downloaded;
    info->swarm.uploadedBytes = f.uploaded;
    info->swarm.uploadRate = f.uploadRate;
    info->swarm.peers = f.peers;
    info->swarm.bannedPeers = f.banned;
    info->swarm.badPieces = f.badPieces;
    info->swarm.listenPort = f.listenPort;
    info->swarm.announces = f.announces;
    info->swarm.trackerFailures = f.trackerFailures;
    info->swarm.state = !swarm_->Running() ? P2SP_SWARM_NONE
                        : info->state == P2SP_STATE_FINISHED ? P2SP_SWARM_SEEDING
                                                              : P2SP_SWARM_DOWNLOADING;
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

void Task::Run() {
    buffer_.resize(ReadSizer::kMaxBytes);
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
    {
        std::lock_guard<std::mutex> hold(lock_);
        state_ = result;
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
        if (complete) {
            SeedFinishedFile();
            return Finalize() ? P2SP_STATE_FINISHED : P2SP_STATE_LOCAL_FAILED;
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

Task::Outcome Task::FetchOnce() {
    bodyComplete_ = false;
    // Bytes on disk from earlier answers, also from a body of unknown length
    // that broke off: kept only once the source shows it still serves them.
    const bool resume = !record_.done.Empty();
    const bool sizeKnown = record_.totalSize > 0;
    uint64_t from = 0, overlap = 0, end = kFirstRequestBytes;
    if (resume) {
        // Fetch a little of what is already on disk again and compare it: a
        // source that changed without changing its validators, or that sends
        // none, is caught here. The overlap ends where the first gap begins,
        // so the same request goes on into the gap. A gap at byte 0 has
        // nothing before it: the first bytes on disk are fetched on their own.
        ByteRange gap;
        record_.done.FirstGap(sizeKnown ? record_.totalSize : UINT64_MAX, &gap);
        const uint64_t before = record_.done.RunEndingAt(gap.begin);
        if (before > 0) {
            overlap = std::min(kOverlapBytes, before);
            from = gap.begin - overlap;
            end = std::min(gap.end, gap.begin + kFirstRequestBytes);
        } else {
            const ByteRange& firstRun = record_.done.Ranges().front();
            overlap = std::min(kOverlapBytes, firstRun.end - firstRun.begin);
            from = firstRun.begin;
            end = from + overlap;
        }
    }
    // Always a range: the answer tells whether the server splits the file.
    std::string headers = "Range: bytes=" + Decimal(from) + "-" + Decimal(end - 1) + "\r\n";
    if (resume) {
        if (IsStrongEtag(record_.etag))
            headers += "If-Range: " + record_.etag + "\r\n";
        else if (!record_.lastModified.empty())
            headers += "If-Range: " + record_.lastModified + "\r\n";
    }
    HttpReply reply;
    if (!http_->Send(url_, headers, &reply))
        return http_->FailureIsPermanent() ? Outcome::kRefused : Outcome::kTransient;

    if (reply.status == 206) {
        if (!reply.hasRange || reply.range.first != from || reply.range.total == 0) return Outcome::kRestart;
        if (resume) {
            // A body of unknown length learns its size here; it must hold
            // what is on disk already.
            if (sizeKnown ? reply.range.total != record_.totalSize : reply.range.total < record_.done.HighestEnd())
                return Outcome::kRestart;
            if (reply.range.last + 1 < from + overlap) return Outcome::kRestart;
            bool sameSource = !record_.etag.empty()           ? reply.etag == record_.etag
                              : !record_.lastModified.empty() ? reply.lastModified == record_.lastModified
                                                              : true;
            if (!sameSource) return Outcome::kRestart;
            Outcome checked = CheckOverlap(from, from + overlap);
            if (checked != Outcome::kProgress) return checked;
            if (!sizeKnown) {
                // Resumable from now on: the records start, nothing flushed yet.
                record_.totalSize = reply.range.total;
                keeper_.Reset(record_, RangeSet(), RangeSet());
                Publish();
            }
        } else {
            record_.totalSize = reply.range.total;
            record_.etag = StorableValidator(reply.etag, kRecordMaxEtag) ? reply.etag : std::string();
            record_.lastModified =
                StorableValidator(reply.lastModified, kRecordMaxLastModified) ? reply.lastModified : std::string();
            keeper_.Reset(record_, RangeSet(), RangeSet());
            Publish();
        }
        return RunSegments(ByteRange{from + overlap, std::min(end, reply.range.last + 1)});
    }
    if (reply.status == 200) {
        // A whole body: the server ignores ranges, or the file changed
        // (If-Range). Either way, from byte 0 on this one request.
        if (!record_.done.Empty() && !StartOver()) return Outcome::kLocalError;
        record_.totalSize = reply.hasLength ? reply.length : 0;
        record_.etag = StorableValidator(reply.etag, kRecordMaxEtag) ? reply.etag : std::string();
        record_.lastModified =
            StorableValidator(reply.lastModified, kRecordMaxLastModified) ? reply.lastModified : std::string();
        keeper_.Reset(record_, RangeSet(), RangeSet());
        Publish();
        if (reply.hasLength && reply.length == 0) {
            bodyComplete_ = true;
            return Outcome::kProgress;
        }
        return ReadBody(0, record_.totalSize, reply.hasLength);
    }
    if (reply.status == 416) return Outcome::kRestart;  // the file shrank
    if (reply.status == 408 || reply.status == 429 || reply.status >= 500) return Outcome::kTransient;
    return Outcome::kRefused;
}

Task::Outcome Task::CheckOverlap(uint64_t offset, uint64_t end) {
    while (offset < end) {
        if (stopRequested_.load()) return Outcome::kStopped;
        DWORD got = 0;
        if (!http_->Read(buffer_.data(), DWORD(end - offset), &got)) return Outcome::kTransient;
        if (got == 0) return Outcome::kTransient;
        if (!part_.ReadAt(offset, verifyBuffer_.data(), got) || memcmp(verifyBuffer_.data(), buffer_.data(), got) != 0)
            return Outcome::kRestart;
        offset += got;
    }
    return Outcome::kProgress;
}

Task::Outcome Task::ReadBody(uint64_t offset, uint64_t end, bool lengthKnown) {
    ReadSizer sizer;
    SourceStats& source = *sources_[0];
    while (!lengthKnown || offset < end) {
        if (stopRequested_.load()) return Outcome::kStopped;
        DWORD want = sizer.Size();
        if (lengthKnown) want = DWORD(std::min<uint64_t>(want, end - offset));
        DWORD got = 0;
        ULONGLONG readStart = GetTickCount64();
        if (!http_->Read(buffer_.data(), want, &got)) return Outcome::kTransient;
        sizer.Observe(want, got, GetTickCount64() - readStart);
        if (got == 0) {
            if (lengthKnown) return Outcome::kTransient;  // closed early
            record_.totalSize = offset;
            bodyComplete_ = true;
            return Outcome::kProgress;
        }
        if (!part_.WriteAt(offset, buffer_.data(), got)) return Outcome::kLocalError;
        record_.done.Add(offset, offset + got);
        offset += got;
        bytesWritten_ += got;
        source.Add(got, GetTickCount64());
        {
            std::lock_guard<std::mutex> hold(lock_);
            completedBytes_ = record_.done.CoveredBytes();
            if (!lengthKnown) totalBytes_ = 0;
        }
        if (!Checkpoint(false)) return Outcome::kLocalError;
    }
    return Outcome::kProgress;
}

void Task::MatchSeed() {
    // Mirrors are only trusted piece by piece: a seed without piece hashes
    // adds none (its whole-file hash could only condemn a finished file).
    seedActive_ = seedLoaded_ && seed_.size == record_.totalSize && seed_.HasPieces();
    if (!seedActive_) return;
    std::lock_guard<std::mutex> hold(lock_);
    for (const std::wstring& mirror : seed_.mirrors) {
        if (sources_.size() >= kMaxSources) break;
        bool known = false;
        for (const auto& s : sources_) known = known || UpperCased(s->url) == UpperCased(mirror);
        if (!known) sources_.emplace_back(new SourceStats(int(sources_.size()), mirror));
    }
}

Task::Outcome Task::RunSegments(ByteRange first) {
    if (!seedActive_) MatchSeed();
    const bool pieces = seedActive_;
    if (pieces && torrent_.present) {
        // Pieces the swarm verified since the last round count too.
        if (map_.TotalSize() == record_.totalSize) {
            const RangeSet swarmDone = map_.Done();
            for (const ByteRange& r : swarmDone.Ranges()) record_.done.Add(r.begin, r.end);
        }
    }
    if (pieces) record_.done = WholePieces(record_.done, seed_.pieceLength, record_.totalSize);

    TransferContext context;
    context.file = &part_;
    context.map = &map_;
    context.stopEvent = stopEvent_.get();
    context.stopRequested = &stopRequested_;
    context.totalSize = record_.totalSize;
    context.etag = record_.etag;
    context.lastModified = record_.lastModified;
    context.pieces = pieces ? &seed_ : nullptr;

    // The task's own URL takes part in every round; mirrors only while the
    // seed matches, and until they are dropped.
    std::vector<SourceStats*> live;
    sources_[0]->dropped = false;
    sources_[0]->badPieces = 0;
    for (auto& s : sources_)
        if (s->index == 0 || (seedActive_ && !s->dropped.load())) live.push_back(s.get());
    uint64_t missing = record_.totalSize - record_.done.CoveredBytes();
    const int fullPerSource = ConnectionsFor(missing);
    int perSource = fullPerSource;
    // Beside a swarm a few connections suffice: bytes in flight from HTTP
    // are bytes no peer can hand over, and the origin is the scarce part.
    // Without peers the rest join a little later (below).
    const bool swarmTask = pieces && torrent_.present;
    if (swarmTask) perSource = std::min(perSource, kSwarmConnectionsPerSource);
    SegmentMap::Plan plan;
    plan.totalSize = record_.totalSize;
    plan.unit = pieces ? seed_.pieceLength : 1;
    plan.minSplit = kMinSplit;
    plan.connections = perSource * int(live.size());
    // With a swarm, connections claim a little at a time: what they leave
    // free, peers may take.
    if (pieces && torrent_.present) {
        plan.maxSegment = std::max<uint64_t>(seed_.pieceLength, kSwarmSegmentBytes);
        // Each task of a swarm fetches its HTTP pieces at random places,
        // so what one fetches the others can take from it rather than
        // fetching it too.
        uint64_t random = 0;
        BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&random), sizeof(random), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
        plan.scatterSeed = random ? random : 1;
    }
    map_.Reset(plan, record_.done);
    uint64_t doneBefore = map_.DoneBytes();
    if (pieces) StartSwarm();

    std::vector<std::unique_ptr<Connection>> connections;
    int nextId = 0;
    // Round robin over the sources, so each gets its share of the first segments.
    for (int i = 0; i < perSource; ++i) {
        for (SourceStats* source : live) {
            connections.emplace_back(new Connection(nextId, source, &context));
            if (nextId == 0) {
                // The first request goes on as connection 0's first segment,
                // when its edges suit the pieces to check.
                bool aligned = !pieces || (first.begin % seed_.pieceLength == 0 &&
                                           (first.end % seed_.pieceLength == 0 || first.end == record_.totalSize));
                if (aligned && first.begin < first.end && !record_.done.Covers(first.begin, first.end)) {
                    map_.Adopt(0, first);
                    connections.back()->Adopt(std::move(http_), first);
                    http_.reset(new HttpSource);
                    http_->Open();
                }
            }
            ++nextId;
        }
    }
    http_->CloseRequest();  // not adopted: the first request is not needed
    for (auto& c : connections) c->Start();

    bool localError = false, seedMismatch = false;
    SourceStats& primary = *sources_[0];
    const DWORD roundStarted = GetTickCount();
    bool widened = !swarmTask || perSource >= fullPerSource;
    HttpShare share;
    uint64_t deferrals = map_.Deferrals();
    for (;;) {
        WaitForSingleObject(stopEvent_.get(), kPollMs);
        if (swarmTask) ShareWithPeers(&share, live, &deferrals);
        // A swarm task whose swarm has found no peer after a while gets
        // every connection an HTTP-only task would have.
        if (!widened && GetTickCount() - roundStarted > kSwarmPeerWaitMs && !stopRequested_.load()) {
            bool peers = false;
            {
                std::lock_guard<std::mutex> hold(swarmLock_);
                peers = swarm_ && swarm_->Figures().peers > 0;
            }
            if (!peers) {
                widened = true;
                for (int i = perSource; i < fullPerSource; ++i)
                    for (SourceStats* source : live) {
                        connections.emplace_back(new Connection(nextId++, source, &context));
                        connections.back()->Start();
                    }
            }
        }
        // The first piece from the task's own URL fails its hash: the seed
        // describes another file, and nothing fetched by it can be kept.
        if (pieces && !seedMismatch && primary.badPieces.load() > 0 && primary.goodPieces.load() == 0) {
            seedMismatch = true;
            context.Raise(TransferContext::kRestart);
        }
        record_.done = map_.Done();
        if (!localError && !Checkpoint(false)) {
            localError = true;
            context.Raise(TransferContext::kLocalError);
        }
        {
            std::lock_guard<std::mutex> hold(lock_);
            completedBytes_ = record_.done.CoveredBytes();
        }
        bool anyRunning = false;
        for (auto& c : connections) anyRunning = anyRunning || c->Running();
        // Connections end when nothing is left for them; while the swarm
        // still fetches the rest the round goes on, and it ends once
        // something is free again (a piece the peers gave back).
        bool swarmBusy = false;
        if (!anyRunning && !stopRequested_.load() && context.fault.load() == TransferContext::kNone &&
            !map_.Complete()) {
            std::lock_guard<std::mutex> hold(swarmLock_);
            swarmBusy = swarm_ && swarm_->Running() && map_.Free().Empty();
        }
        if (!anyRunning && !swarmBusy) break;
    }
    connections.clear();  // joins every thread
    record_.done = map_.Done();
    bytesWritten_ += record_.done.CoveredBytes() - doneBefore;
    Publish();

    if (seedMismatch) return Outcome::kSeedMismatch;
    if (map_.Complete()) return Outcome::kProgress;
    if (stopRequested_.load()) return Outcome::kStopped;
    if (localError || context.fault.load() == TransferContext::kLocalError) return Outcome::kLocalError;
    if (context.fault.load() == TransferContext::kRestart) return Outcome::kRestart;
    return primary.failedConnections.load() > 0 && primary.connections.load() == 0 && primary.bytes.load() == 0
               ? Outcome::kRefused
               : Outcome::kTransient;
}

void Task::ShareWithPeers(HttpShare* share, const std::vector<SourceStats*>& live, uint64_t* deferrals) {
    HttpShare::Sample sample;
    sample.nowMs = GetTickCount64();
    for (SourceStats* source : live) sample.httpRate += source->Rate(sample.nowMs);
    {
        std::lock_guard<std::mutex> hold(swarmLock_);
        if (swarm_ && swarm_->Running()) {
            const SwarmFigures f = swarm_->Figures();
            sample.peersConnected = f.peers > 0;
            sample.peerRate = f.downloadRate;
        }
    }
    const uint64_t count = map_.Deferrals();
    sample.httpWaited = count != *deferrals;
    *deferrals = count;
    const bool was = share->Deferring();
    map_.DeferAvoided(share->Update(sample));
    if (share->Deferring() != was)
        SwarmTrace("http %s the peers' pieces (peers %u B/s, http %u B/s when busy)",
              share->Deferring() ? "leaves" : "takes", sample.peerRate, share->HttpEstimate());
}

bool Task::SwarmCarries() {
    // The task's URL failed: while a torrent names this file its peers may
    // carry the download alone, for a while, before the URL is tried again.
    if (!torrent_.present || stopRequested_.load()) return false;
    const uint64_t length = torrent_.meta.length;
    if (record_.totalSize != 0 && record_.totalSize != length) return false;
    if (record_.totalSize == 0) {
        record_.totalSize = length;
        record_.done.Clear();
        keeper_.Reset(record_, RangeSet(), RangeSet());
        Publish();
    }
    if (!seedActive_) MatchSeed();
    if (!seedActive_) return false;
    const RangeSet swarmDone = map_.TotalSize() == length ? map_.Done() : RangeSet();
    for (const ByteRange& r : swarmDone.Ranges()) record_.done.Add(r.begin, r.end);
    record_.done = WholePieces(record_.done, seed_.pieceLength, length);
    SegmentMap::Plan plan;
    plan.totalSize = length;
    plan.unit = seed_.pieceLength;
    plan.minSplit = kMinSplit;
    map_.Reset(plan, record_.done);
    const uint64_t doneBefore = map_.DoneBytes();
    StartSwarm();
    const DWORD started = GetTickCount();
    while (!map_.Complete() && GetTickCount() - started < kSwarmAloneMs && WaitOrStop(kPollMs * 10)) {
        record_.done = map_.Done();
        if (!Checkpoint(false)) break;
        std::lock_guard<std::mutex> hold(lock_);
        completedBytes_ = record_.done.CoveredBytes();
    }
    record_.done = map_.Done();
    Checkpoint(true);
    Publish();
    const uint64_t gained = record_.done.CoveredBytes() - doneBefore;
    bytesWritten_ += gained;
    return gained > 0;
}

bool Task::Checkpoint(bool force) {
    return keeper_.Update(part_, record_.done, force);
}

bool Task::LoadUsableRecord() {
    RangeRecord saved;
    if (!LoadResumeRecord(recordPath_, &saved)) return false;
    RangeSet usable = ResumableRanges(saved, CurrentBootStamp());
    if (part_.Size() < usable.HighestEnd()) return false;  // data the record claims is gone
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
    bodyComplete_ = false;
    Publish();
    return part_.Truncate(0);
}

// Tests widen the moment between the partial file and the finished one,
// when the swarm can read neither, to show that no peer's request is lost
// in it: P2SP_TEST_RENAME_PAUSE_MS in the environment (at most 10 s).
void Task::PauseBeforeRename() {
    wchar_t text[16] = L"";
    DWORD n = GetEnvironmentVariableW(L"P2SP_TEST_RENAME_PAUSE_MS", text, DWORD(std::size(text)));
    if (n == 0 || n >= std::size(text)) return;
    const unsigned long ms = std::wcstoul(text, nullptr, 10);
    if (ms > 0) WaitOrStop(DWORD(std::min<unsigned long>(ms, 10000)));
}

bool Task::Finalize() {
    keeper_.Quiesce();
    storage_.Detach();  // the swarm reads the finished file from now on
    PauseBeforeRename();
    if (!part_.Flush()) return false;
    if (part_.Size() != record_.totalSize && !part_.Truncate(record_.totalSize)) return false;
    part_.Close();
    if (!MoveFileExW(partPath_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return false;
    keeper_.Forget();
    Publish();
    {
        std::lock_guard<std::mutex> hold(swarmLock_);
        if (swarm_ && !seedingStopped_.load() && storage_.OpenComplete(target_)) swarm_->Completed();
        else if (swarm_) swarm_->RequestStop();
    }
    return true;
}
