#include "p2sp/http/HttpRound.h"

#include "p2sp/swarm/SwarmTrace.h"

#include <windows.h>

#include <algorithm>

namespace {

constexpr DWORD kPollMs = 10;  // the record and progress figures while connections run

}  // namespace

HttpRound::HttpRound(const Setup& setup, Owner* owner)
    : setup_(setup),
      owner_(owner),
      perSource_(std::max(1, setup.fullPerSource)),
      share_(std::max(1, setup.fullPerSource), kLeastPerSource) {
    TransferContext& context = *setup_.context;
    context.perSource = perSource_;
    const bool racing = setup_.besideSwarm && setup_.pieceLength > 0 && setup_.pieceLength <= kMaxRaceBytes;
    context.raceMaxBytes = racing ? setup_.pieceLength : 0;
    deferrals_ = setup_.map->Deferrals();
    // Beside a swarm claims are short, even while HTTP runs alone: what a
    // connection has claimed no peer can take, however slow the connection.
    if (setup_.besideSwarm) setup_.map->SetMaxSegment(std::max(setup_.pieceLength, kSharedClaimBytes));
}

HttpRound::~HttpRound() { slots_.clear(); }

Connection* HttpRound::Start(size_t source, int rank) {
    const Slot slot(int(source), rank);
    auto it = slots_.find(slot);
    if (it != slots_.end()) it->second.reset();  // an ended one: its thread is joined here
    std::unique_ptr<Connection> c(new Connection(nextId_++, rank, setup_.sources[source], setup_.context));
    Connection* raw = c.get();
    slots_[slot] = std::move(c);
    return raw;
}

bool HttpRound::AdoptFirst(std::unique_ptr<HttpSource>* open, const ByteRange& first) {
    if (setup_.sources.empty() || first.begin >= first.end) return false;
    // Connection 0 is source 0's rank 0, as every round's first.
    const int id = nextId_;
    if (!setup_.map->Adopt(id, first)) return false;
    Connection* c = Start(0, 0);
    c->Adopt(std::move(*open), first);
    return true;
}

bool HttpRound::AnyRunning() const {
    for (const auto& entry : slots_)
        if (entry.second && entry.second->Running()) return true;
    return false;
}

void HttpRound::Staff(uint64_t nowMs) {
    const TransferContext& context = *setup_.context;
    for (int rank = 0; rank < perSource_; ++rank) {
        // Round robin over the sources, so each gets its share of the first segments.
        for (size_t s = 0; s < setup_.sources.size(); ++s) {
            SourceStats* source = setup_.sources[s];
            if (source->dropped.load()) continue;
            auto it = slots_.find(Slot(int(s), rank));
            if (it != slots_.end() && it->second && (it->second->Running() || !it->second->EndedIdle())) continue;
            if (!setup_.map->HasWorkFor(source->index, nowMs, context.raceAfterMs, context.raceMaxBytes)) continue;
            Start(s, rank)->Start();
        }
    }
}

void HttpRound::Pace(const SwarmGlance& glance, uint64_t nowMs) {
    HttpShare::Sample sample;
    sample.nowMs = nowMs;
    for (SourceStats* source : setup_.sources) sample.httpRate += source->Rate(nowMs);
    sample.peersConnected = glance.running && glance.peers;
    sample.peerRate = glance.running ? glance.rate : 0;
    const uint64_t count = setup_.map->Deferrals();
    sample.httpWaited = count != deferrals_;
    deferrals_ = count;
    // A rank that should run but has nothing to do means HTTP is not busy.
    for (int rank = 0; rank < perSource_ && !sample.httpWaited; ++rank)
        for (size_t s = 0; s < setup_.sources.size(); ++s) {
            auto it = slots_.find(Slot(int(s), rank));
            if (!setup_.sources[s]->dropped.load() && (it == slots_.end() || !it->second->Running()))
                sample.httpWaited = true;
        }
    const bool wasDeferring = share_.Deferring();
    const int wasPerSource = perSource_;
    share_.Update(sample);
    perSource_ = share_.PerSource();
    setup_.context->perSource = perSource_;
    setup_.map->DeferAvoided(share_.Deferring());
    if (share_.Deferring() != wasDeferring || perSource_ != wasPerSource)
        SwarmTrace("http: %d connections a source, %s the peers' pieces (peers %u B/s, http %u B/s, alone %u B/s)",
                   perSource_, share_.Deferring() ? "leaves" : "takes", sample.peerRate, sample.httpRate,
                   share_.AloneRate());
}

HttpRound::End HttpRound::Run() {
    TransferContext& context = *setup_.context;
    SegmentMap& map = *setup_.map;
    SourceStats& primary = *setup_.sources.front();
    for (auto& entry : slots_) entry.second->Start();  // the adopted first connection
    Staff(GetTickCount64());
    bool localError = false, seedMismatch = false;
    for (;;) {
        WaitForSingleObject(context.stopEvent, kPollMs);
        const uint64_t now = GetTickCount64();
        const bool stopping = context.stopRequested->load();
        const SwarmGlance glance = setup_.besideSwarm ? owner_->Glance() : SwarmGlance();
        if (setup_.besideSwarm) Pace(glance, now);
        // The first piece from the task's own URL fails its hash: the seed
        // describes another file, and nothing fetched by it can be kept.
        if (context.pieces && !seedMismatch && primary.badPieces.load() > 0 && primary.goodPieces.load() == 0) {
            seedMismatch = true;
            context.Raise(TransferContext::kRestart);
        }
        if (!localError && !owner_->Progress()) {
            localError = true;
            context.Raise(TransferContext::kLocalError);
        }
        const bool faulted = context.fault.load() != TransferContext::kNone;
        if (!stopping && !faulted && !map.Complete()) Staff(now);
        if (AnyRunning()) continue;
        // Nothing runs: the round ends, unless the swarm is fetching all
        // that is left (connections start again when it gives some back).
        if (stopping || faulted || map.Complete()) break;
        if (!(glance.running && map.Free().Empty())) break;
    }
    slots_.clear();  // joins every thread
    owner_->Progress();

    if (seedMismatch) return End::kSeedMismatch;
    if (map.Complete()) return End::kComplete;
    if (context.stopRequested->load()) return End::kStopped;
    if (localError || context.fault.load() == TransferContext::kLocalError) return End::kLocalError;
    if (context.fault.load() == TransferContext::kRestart) return End::kRestart;
    return primary.failedConnections.load() > 0 && primary.connections.load() == 0 && primary.bytes.load() == 0
               ? End::kRefused
               : End::kTransient;
}
