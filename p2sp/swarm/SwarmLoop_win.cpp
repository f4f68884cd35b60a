#include "p2sp/swarm/SwarmLoop.h"

#include "p2sp/portmap/PortMapper.h"
#include "p2sp/swarm/SwarmTrace.h"

#include <bcrypt.h>

#include <algorithm>
#include <cstring>

void SwarmLoop::RandomBytes(uint8_t* out, size_t n) {
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

SwarmLoop::SwarmLoop(const TorrentMeta& meta, const uint8_t infoHash[20], const SwarmOptions& options,
                     SegmentMap* map, SwarmStorage* storage)
    : meta_(meta),
      options_(options),
      map_(map),
      storage_(storage),
      picker_(meta.length, meta.pieceLength, uint32_t(Now()) | 1),
      choker_(options.uploadSlots, uint32_t(Now() >> 3) | 1),
      candidates_(options.allowLoopback) {
    std::memcpy(infoHash_, infoHash, 20);
    // "-VO0100-" then random characters: a new id every run.
    static const char kAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::memcpy(peerId_, "-VO0100-", 8);
    uint8_t random[12];
    RandomBytes(random, sizeof(random));
    for (int i = 0; i < 12; ++i) peerId_[8 + i] = uint8_t(kAlphabet[random[i] % 62]);
}

// Gives back the pieces it holds, announces "stopped" and closes every socket.
void SwarmLoop::Shutdown() {
    for (uint32_t piece : held_.All()) map_->Unhold(int(piece));
    held_.Clear();
    if (tracker_) tracker_->Stop();
    tracker_.reset();
    for (auto& p : peers_) Close(*p, "swarm ends");  // traced with what each gave and took
    peers_.clear();
    if (listener_.valid() && options_.mapper) options_.mapper->Unmap(listenPort_);
    if (udp_.valid() && options_.mapper) options_.mapper->Unmap(listenPort_, true);
    listener_.reset();
    listener6_.reset();
    udp_.reset();
    if (winsock_) WSACleanup();
    winsock_ = false;
}

bool SwarmLoop::Open() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    winsock_ = true;
    if (options_.listen && MayUpload()) Listen();
    if (listener_.valid() && options_.mapper) options_.mapper->Map(listenPort_);
    // The same port for uTP: peers that dial the router's port reach either.
    if (udp_.valid() && options_.mapper) options_.mapper->Map(listenPort_, true);
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
        held_.Clear();
        senders_.clear();
        completedAtMs_ = now;
        figures_.left = 0;  // before the announce it goes into
        tracker_->Completed();
    }
    if (now - lastSync_ >= kSyncMs) {
        lastSync_ = now;
        if (!completedSeen_) SyncWithMap(now);
        HandBackStalled(now);
        Dial(now);
        // Nobody to trade with: peers that announced after us are listed
        // only in a later answer.
        if (!completedSeen_ &&
            std::none_of(peers_.begin(), peers_.end(), [](const PeerPtr& p) { return p->stage == PeerLink::Stage::kActive; }))
            tracker_->WantPeers();
        CheckSeedLimits(now);
        FollowMapping();
        ExchangePeers(now);
    }
    Poll();
    const uint64_t later = Now();  // receiving stamped the peers after `now`
    // Sources that may send: HTTP while it fetches, and the peers that
    // unchoke us and are not snubbed (so for a snubbed peer, any other).
    size_t serving = map_->Fetching() ? 1 : 0;
    for (const auto& p : peers_)
        serving += p->stage == PeerLink::Stage::kActive && !p->peerChoking && !p->service.Snubbed(later) ? 1 : 0;
    for (auto& p : peers_) {
        if (p->stage == PeerLink::Stage::kActive) {
            Request(*p, later, serving > 0);
            Upload(*p, later);
        }
        Housekeep(*p, later);
    }
    if (now - lastRound_ >= kChokeRoundMs || QuickRoundWanted()) ChokeRound(now);
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
            // An HTTP source completed it (its check passed there), or won
            // the race for it: what peers still send of it is refused.
            if (picker_.Started(i)) {
                CancelPiece(i);
                picker_.Abandon(i);
            }
            Unhold(i);
            MarkOurs(i);
            if (blame_.Suspect(i)) Acquit(i);
            continue;
        }
        auto back = handedBack_.find(i);
        if (back != handedBack_.end() && Since(now, back->second) >= kHandedBackMs) handedBack_.erase(back);
        if (!picker_.Started(i))
            picker_.SetReserved(i, !free.Covers(begin, end) || handedBack_.count(i) != 0);
        for (const auto& p : peers_)
            if (p->stage == PeerLink::Stage::kActive && p->has.Get(i)) {
                peersHave.Add(begin, end);
                break;
            }
    }
    map_->SetAvoid(peersHave);
    figures_.left = meta_.length - haveBytes_;
}

void SwarmLoop::Unhold(uint32_t piece) {
    if (held_.Release(piece)) map_->Unhold(int(piece));
    senders_.erase(piece);
}

bool SwarmLoop::AskedOfServingPeer(uint32_t piece, uint64_t now) const {
    for (const auto& p : peers_) {
        if (p->stage != PeerLink::Stage::kActive || p->service.Snubbed(now)) continue;
        for (const auto& b : p->asked)
            if (b.piece == piece) return true;
    }
    return false;
}

void SwarmLoop::HandBackStalled(uint64_t now) {
    const std::vector<uint32_t> due =
        held_.Due(now, [&](uint32_t piece) { return picker_.Started(piece) && AskedOfServingPeer(piece, now); });
    for (uint32_t piece : due) {
        // Nobody is sending it: the peers' requests are cancelled and the
        // HTTP sources may take it; the swarm leaves it to them a while.
        SwarmTrace("piece %u to http", piece);
        CancelPiece(piece);
        picker_.Abandon(piece);
        picker_.SetReserved(piece, true);
        Unhold(piece);
        handedBack_[piece] = now;
    }
}

void SwarmLoop::FollowMapping() {
    if (!listener_.valid() || !options_.mapper) return;
    const PortMapper::Mapping now = options_.mapper->Get(listenPort_);
    if (now.externalPort == mapped_.externalPort && now.method == mapped_.method) return;
    mapped_ = now;
    // Peers outside reach us at the router's port: the trackers hear of it
    // at once (and of the listening port again when the mapping is lost).
    tracker_->SetPort(now.externalPort ? now.externalPort : listenPort_);
    SwarmTrace("mapping %u: router port %u", unsigned(now.method), unsigned(now.externalPort));
}

void SwarmLoop::Publish() {
    std::lock_guard<std::mutex> hold(lock_);
    uint16_t active = 0;
    uint16_t dialled = 0, exchanged = 0, utp = 0, introduced = 0;
    for (const auto& p : peers_) {
        if (p->stage != PeerLink::Stage::kActive) continue;
        ++active;
        utp += p->utp ? 1 : 0;
        introduced += p->introduced ? 1 : 0;
        dialled += p->outgoing && !p->exchanged ? 1 : 0;
        exchanged += p->outgoing && p->exchanged ? 1 : 0;
    }
    shown_.peers = active;
    shown_.dialled = dialled;
    shown_.exchanged = exchanged;
    shown_.accepted = uint16_t(active - dialled - exchanged);
    shown_.utp = utp;
    shown_.introduced = introduced;
    shown_.listenPort = listenPort_;
    shown_.mappedPort = mapped_.externalPort;
    shown_.mapping = uint8_t(mapped_.method);
    shown_.announces = uint16_t(std::min(tracker_->Announces(), 0xFFFF));
    shown_.trackerFailures = uint16_t(std::min(tracker_->Failures(), 0xFFFF));
}
