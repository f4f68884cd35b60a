#include "p2sp/swarm/SwarmLoop.h"

#include "p2sp/swarm/SwarmTrace.h"

#include <bcrypt.h>

#include <algorithm>
#include <cstring>

namespace {

void RandomBytes(uint8_t* out, size_t n) {
    if (BCryptGenRandom(nullptr, out, ULONG(n), BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
        LARGE_INTEGER t;
        QueryPerformanceCounter(&t);
        uint32_t x = uint32_t(t.QuadPart) ^ GetCurrentProcessId() ^ 0x9e3779b9u;
        for (size_t i = 0; i < n; ++i) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            out[i] = uint8_t(x);
        }
    }
}

}  // namespace

SwarmLoop::SwarmLoop(const TorrentMeta& meta, const uint8_t infoHash[20], const SwarmOptions& options,
                     SegmentMap* map, SwarmStorage* storage)
    : meta_(meta),
      options_(options),
      map_(map),
      storage_(storage),
      picker_(meta.length, meta.pieceLength, uint32_t(Now()) | 1),
      choker_(options.uploadSlots, uint32_t(Now() >> 3) | 1) {
    std::memcpy(infoHash_, infoHash, 20);
    // "-VO0100-" then random characters: a new id every run.
    static const char kAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::memcpy(peerId_, "-VO0100-", 8);
    uint8_t random[12];
    RandomBytes(random, sizeof(random));
    for (int i = 0; i < 12; ++i) peerId_[8 + i] = uint8_t(kAlphabet[random[i] % 62]);
}

// Announces "stopped" and closes every socket.
void SwarmLoop::Shutdown() {
    if (tracker_) tracker_->Stop();
    tracker_.reset();
    peers_.clear();
    listener_.reset();
    if (winsock_) WSACleanup();
    winsock_ = false;
}

bool SwarmLoop::Open() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    winsock_ = true;
    if (options_.listen && options_.uploadCap > 0) Listen();
    SyncWithMap(Now());
    figures_.left = meta_.length - haveBytes_;
    AnnounceParams identity;
    std::memcpy(identity.infoHash, infoHash_, 20);
    std::memcpy(identity.peerId, peerId_, 20);
    identity.port = listenPort_;
    RandomBytes(reinterpret_cast<uint8_t*>(&identity.key), sizeof(identity.key));
    tracker_.reset(new TrackerClient(meta_.trackerTiers, identity, &figures_));
    tracker_->Start();
    return true;
}

SwarmFigures SwarmLoop::Figures() {
    std::lock_guard<std::mutex> hold(lock_);
    SwarmFigures f = shown_;
    uint64_t now = Now();
    f.downloadRate = downMeter_.Rate(now);
    f.uploadRate = upMeter_.Rate(now);
    return f;
}

void SwarmLoop::RunOnce() {
    const uint64_t now = Now();
    if (completed_.load() && !completedSeen_) {
        completedSeen_ = true;
        // Every piece is ours now; those not yet announced are.
        for (uint32_t i = 0; i < picker_.PieceCount(); ++i) MarkOurs(i);
        held_.clear();
        pieceActivity_.clear();
        figures_.left = 0;  // before the announce it goes into
        tracker_->Completed();
    }
    if (now - lastSync_ >= kSyncMs) {
        lastSync_ = now;
        if (!completedSeen_) SyncWithMap(now);
        ReleaseStalledPieces(now);
        Dial(now);
    }
    Poll();
    const uint64_t later = Now();  // receiving stamped the peers after `now`
    for (auto& p : peers_) {
        if (p->stage == PeerLink::Stage::kActive) {
            Request(*p, later);
            Upload(*p, later);
        }
        Housekeep(*p, later);
    }
    if (now - lastRound_ >= kChokeRoundMs || QuickRoundWanted()) ChokeRound(now);
    RefillTokens(now);
    Reap();
    Publish();
}

void SwarmLoop::SyncWithMap(uint64_t now) {
    const RangeSet done = map_->Done();
    const RangeSet free = map_->Free();
    RangeSet peersHave;
    for (uint32_t i = 0; i < picker_.PieceCount(); ++i) {
        if (picker_.Have().Get(i)) continue;
        const uint64_t begin = uint64_t(i) * meta_.pieceLength, end = begin + picker_.PieceSize(i);
        if (done.Covers(begin, end)) {
            // An HTTP source completed it (its check passed there).
            Unhold(i);
            MarkOurs(i);
            continue;
        }
        if (!picker_.Started(i)) picker_.SetReserved(i, !free.Covers(begin, end));
        for (const auto& p : peers_)
            if (p->stage == PeerLink::Stage::kActive && p->has.Get(i)) {
                peersHave.Add(begin, end);
                break;
            }
    }
    map_->SetAvoid(peersHave);
    figures_.left = meta_.length - haveBytes_;
    (void)now;
}

void SwarmLoop::Unhold(uint32_t piece) {
    if (held_.erase(piece)) map_->Unhold(int(piece));
    pieceActivity_.erase(piece);
}

void SwarmLoop::ReleaseStalledPieces(uint64_t now) {
    std::vector<uint32_t> release;
    for (uint32_t piece : held_) {
        if (!picker_.Started(piece)) {
            release.push_back(piece);
            continue;
        }
        auto it = pieceActivity_.find(piece);
        uint64_t last = it == pieceActivity_.end() ? 0 : it->second;
        if (!picker_.Asked(piece) && Since(now, last) > kStalledPieceMs) {
            picker_.Abandon(piece);
            release.push_back(piece);
        }
    }
    for (uint32_t piece : release) Unhold(piece);
}

void SwarmLoop::Publish() {
    std::lock_guard<std::mutex> hold(lock_);
    uint16_t active = 0;
    for (const auto& p : peers_) active += p->stage == PeerLink::Stage::kActive ? 1 : 0;
    shown_.peers = active;
    shown_.listenPort = listenPort_;
    shown_.announces = uint16_t(std::min(tracker_->Announces(), 0xFFFF));
    shown_.trackerFailures = uint16_t(std::min(tracker_->Failures(), 0xFFFF));
}
