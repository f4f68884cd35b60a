// The task's rounds of HTTP sources: what a round starts from (the record,
// the seed's mirrors and pieces, the plan of the segment map) and what its
// end means for the task.
#include "p2sp/Task.h"

#include "p2sp/TaskLimits.h"

#include <bcrypt.h>

#include <algorithm>
#include <cwctype>

namespace {

bool SameUrl(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towupper(a[i]) != std::towupper(b[i])) return false;
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

void Task::MatchSeed() {
    // Mirrors are only trusted piece by piece: a seed without piece hashes
    // adds none (its whole-file hash could only condemn a finished file).
    seedActive_ = seedLoaded_ && seed_.size == record_.totalSize && seed_.HasPieces();
    if (!seedActive_) return;
    std::lock_guard<std::mutex> hold(lock_);
    for (const std::wstring& mirror : seed_.mirrors) {
        if (sources_.size() >= kMaxSources) break;
        bool known = false;
        for (const auto& s : sources_) known = known || SameUrl(s->url, mirror);
        if (!known) sources_.emplace_back(new SourceStats(int(sources_.size()), mirror));
    }
}

SwarmGlance Task::Glance() {
    SwarmGlance glance;
    std::lock_guard<std::mutex> hold(swarmLock_);
    if (!swarm_ || !swarm_->Running()) return glance;
    const SwarmFigures f = swarm_->Figures();
    glance.running = true;
    glance.peers = f.peers > 0;
    glance.rate = f.downloadRate;
    return glance;
}

bool Task::Progress() {
    record_.done = map_.Done();
    const bool kept = Checkpoint(false);
    std::lock_guard<std::mutex> hold(lock_);
    completedBytes_ = record_.done.CoveredBytes();
    return kept;
}

Task::Outcome Task::RunSegments(ByteRange first) {
    if (!seedActive_) MatchSeed();
    const bool pieces = seedActive_;
    const bool swarmTask = pieces && torrent_.present;
    if (swarmTask && map_.TotalSize() == record_.totalSize) {
        // Pieces the swarm verified since the last round count too.
        const RangeSet swarmDone = map_.Done();
        for (const ByteRange& r : swarmDone.Ranges()) record_.done.Add(r.begin, r.end);
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
    const uint64_t missing = record_.totalSize - record_.done.CoveredBytes();
    const int perSource = ConnectionsFor(missing);
    SegmentMap::Plan plan;
    plan.totalSize = record_.totalSize;
    plan.unit = pieces ? seed_.pieceLength : 1;
    plan.minSplit = kMinSplit;
    plan.connections = perSource * int(live.size());
    if (swarmTask) {
        // Each task of a swarm fetches its HTTP pieces at random places,
        // so what one fetches the others can take from it rather than
        // fetching it too.
        uint64_t random = 0;
        BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&random), sizeof(random), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
        plan.scatterSeed = random ? random : 1;
    }
    map_.Reset(plan, record_.done);
    record_.done = map_.Done();
    const uint64_t doneBefore = map_.DoneBytes();
    if (swarmTask) StartSwarm();

    HttpRound::Setup setup;
    setup.context = &context;
    setup.map = &map_;
    setup.sources = live;
    setup.fullPerSource = perSource;
    setup.besideSwarm = swarmTask;
    setup.pieceLength = pieces ? seed_.pieceLength : 0;
    HttpRound::End end;
    {
        HttpRound round(setup, this);
        // The first request goes on as the first connection's first segment,
        // when its edges suit the pieces to check and nobody else has its bytes.
        const bool aligned = !pieces || (first.begin % seed_.pieceLength == 0 &&
                                         (first.end % seed_.pieceLength == 0 || first.end == record_.totalSize));
        if (aligned && round.AdoptFirst(&http_, first)) {
            http_.reset(new HttpSource);
            http_->Open();
        }
        http_->CloseRequest();  // not adopted: the first request is not needed
        end = round.Run();
    }
    record_.done = map_.Done();
    bytesWritten_ += record_.done.CoveredBytes() - std::min(doneBefore, record_.done.CoveredBytes());
    Publish();
    switch (end) {
    case HttpRound::End::kComplete: return Outcome::kProgress;
    case HttpRound::End::kStopped: return Outcome::kStopped;
    case HttpRound::End::kLocalError: return Outcome::kLocalError;
    case HttpRound::End::kRestart: return Outcome::kRestart;
    case HttpRound::End::kSeedMismatch: return Outcome::kSeedMismatch;
    case HttpRound::End::kRefused: return Outcome::kRefused;
    case HttpRound::End::kTransient: break;
    }
    return Outcome::kTransient;
}
