// The state and work of one swarm's thread (see Swarm.h): connections,
// the peer protocol, giving back, and the task's segment map. Its parts are
// in SwarmLoop_win.cpp, SwarmSockets_win.cpp, SwarmUtp_win.cpp,
// SwarmProtocol_win.cpp, SwarmIntroductions_win.cpp and SwarmUpload_win.cpp.
#pragma once

// Winsock 2 must come before anything that includes windows.h.
#include <winsock2.h>

#include "p2sp/SegmentMap.h"
#include "p2sp/SpeedMeter.h"
#include "p2sp/portmap/PortMapper.h"
#include "p2sp/swarm/BlockBlame.h"
#include "p2sp/swarm/Choker.h"
#include "p2sp/swarm/HolePunch.h"
#include "p2sp/swarm/HeldPieces.h"
#include "p2sp/swarm/PeerBans.h"
#include "p2sp/swarm/PeerCandidates.h"
#include "p2sp/swarm/PeerLink.h"
#include "p2sp/swarm/PeerWire.h"
#include "p2sp/swarm/PiecePicker.h"
#include "p2sp/swarm/Swarm.h"
#include "p2sp/swarm/SwarmOptions.h"
#include "p2sp/swarm/SwarmStorage.h"
#include "p2sp/swarm/TorrentMeta.h"
#include "p2sp/swarm/TrackerClient.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class SwarmLoop {
public:
    SwarmLoop(const TorrentMeta& meta, const uint8_t infoHash[20], const SwarmOptions& options, SegmentMap* map,
              SwarmStorage* storage);
    ~SwarmLoop() { Shutdown(); }
    SwarmLoop(const SwarmLoop&) = delete;
    SwarmLoop& operator=(const SwarmLoop&) = delete;

    // Gives back the pieces it holds, announces "stopped" and closes every socket.
    void Shutdown();
    bool Open();
    SwarmFigures Figures();
    void RunOnce();
    void MarkCompleted() { completed_ = true; }
    // Seeding reached its limits: the thread may end.
    bool Finished() const { return finished_; }

private:
    using PeerPtr = std::unique_ptr<PeerLink>;

    static constexpr size_t kMaxWanted = 500;         // a peer's requests queued; more are dropped
    static constexpr size_t kMaxUnsolicited = 256;    // blocks never asked for (endgame leftovers are few)
    static constexpr size_t kUploadBacklog = 32u << 10;  // queue a block only below this many unsent bytes
    static constexpr size_t kReceiveChunk = 64u << 10;
    static constexpr size_t kMaxReceivePerRound = 512u << 10;
    static constexpr size_t kDialsPerSync = 8;
    static constexpr uint64_t kHandshakeTimeoutMs = 20000;
    static constexpr uint64_t kConnectTimeoutMs = 8000;     // a TCP dial nobody answers
    static constexpr uint64_t kIntroductionMs = 30000;      // an introduction's dials are expected this long
    static constexpr uint64_t kAskAgainMs = 300000;         // one introduction asked per peer this often
    static constexpr size_t kMaxTold = 500;                 // peers remembered from peer exchange
    static constexpr size_t kDatagramsPerRound = 1024;
    static constexpr size_t kMaxOurAddresses = 8;
    static constexpr uint64_t kIdleTimeoutMs = 180000;
    static constexpr uint64_t kKeepAliveMs = 90000;
    static constexpr uint64_t kHandedBackMs = 5000;   // a piece given to HTTP is not taken back for this long
    static constexpr uint64_t kChokeRoundMs = 10000;
    static constexpr uint64_t kSyncMs = 250;
    static constexpr uint64_t kUnreadableMs = 10000;  // then a peer's requests are dropped with a choke
    static constexpr long kSelectMicroseconds = 50000;

    static uint64_t Now() { return GetTickCount64(); }
    static void RandomBytes(uint8_t* out, size_t n);
    // Milliseconds from `then` to `now`; 0 when `then` is later.
    static uint64_t Since(uint64_t now, uint64_t then) { return now > then ? now - then : 0; }

    // Connections: listening, dialling, accepting, reading and writing, upkeep
    // (SwarmSockets_win.cpp).
    void Listen();
    void Dial(uint64_t now);
    void DialTcp(const PeerAddress& a, uint64_t now, bool secondTry);
    // A new outgoing link, in the stage kConnecting.
    PeerLink& AddDialled(const PeerAddress& a, uint64_t now);
    // Connections with this host (IpAddress::Host), each direction.
    int ConnectionsWith(const IpAddress& ip) const;
    void Accept(SOCKET listener);
    void Poll();
    void Receive(PeerLink& p);
    void Flush(PeerLink& p);
    void Close(PeerLink& p, const char* why);
    void Reap();
    // A dial that never connected: the other transport is tried, or the
    // address counts a failure and an introduction may be asked for.
    void DialFailed(PeerLink& p);
    // Time-outs, snubbed requests, useless peers and keep-alives of one peer.
    void Housekeep(PeerLink& p, uint64_t now);
    // Cancels every request out to `p` (snubbed, or its pieces went elsewhere).
    void CancelAll(PeerLink& p);

    // uTP on the listening port (SwarmUtp_win.cpp).
    static uint64_t NowUs();
    void OpenUtp();
    bool UtpAllowed() const { return options_.utp != UtpMode::kOff && udp_.valid(); }
    bool TcpAllowed() const { return options_.utp != UtpMode::kOnly; }
    void DialUtp(const PeerAddress& a, uint64_t now, bool secondTry, bool introduced);
    void ReceiveDatagrams();
    void AcceptUtp(const PeerAddress& from, const UtpHeader& syn, uint64_t nowUs);
    // Ticks a uTP link, moves its stage along, reads and writes it.
    void ServiceUtp(PeerLink& p);
    void ReceiveUtp(PeerLink& p);
    void FlushUtp(PeerLink& p);
    void SendDatagrams(PeerLink& p);
    uint16_t NewUtpId(const PeerAddress& a) const;

    // Introductions between peers that cannot dial each other
    // (SwarmIntroductions_win.cpp).
    bool HandleHolePunch(PeerLink& p, const PeerMessage& m);
    void SendHolePunch(PeerLink& p, const HolePunchMessage& m);
    // Asks the peer that told us of `a` to introduce us, when it can.
    void AskIntroduction(const PeerAddress& a, uint64_t now);
    // Where `p` can be dialled: the address we dialled, or an accepted
    // peer's address at the port it listens on; port 0 when not known.
    PeerAddress DialBack(const PeerLink& p) const;
    // Whether a link is with the peer that can be dialled at `a`; with
    // `pendingTcp` false, a TCP dial not yet answered does not count (an
    // introduction dials over uTP beside it).
    bool LinkedTo(const PeerAddress& a, bool pendingTcp = true) const;
    // Whether we were introduced to this host lately (its dial is one).
    bool Introduced(const IpAddress& ip, uint64_t now);

    // The peer protocol: handshake, messages, pieces asked and checked
    // (SwarmProtocol_win.cpp).
    void SendHandshake(PeerLink& p);
    void Parse(PeerLink& p);
    // False when the message breaks the protocol: the peer is closed.
    bool Handle(PeerLink& p, const PeerMessage& m);
    bool TakeBlock(PeerLink& p, const PeerMessage& m);
    // The extension protocol's messages: its handshake and peer exchange.
    bool HandleExtended(PeerLink& p, const PeerMessage& m);
    // Tells each peer that speaks ut_pex, once a minute, of the others.
    void ExchangePeers(uint64_t now);
    void CancelAt(int peerId, const PiecePicker::Block& b);
    // Cancels the requests for `piece` at every peer.
    void CancelPiece(uint32_t piece);
    // A piece has all its blocks: its SHA-1 decides.
    void Check(uint32_t piece);
    // The SHA-1 of each block of `piece` as stored; false when it cannot be read.
    bool BlockDigests(uint32_t piece, std::vector<BlockBlame::Digest>* digests);
    // A piece failed: one sender is struck, several are kept for comparison.
    void Blame(uint32_t piece);
    // A piece once failed is good now: whoever sent a block that differs is banned.
    void Acquit(uint32_t piece);
    void BanPeer(const PeerKey& key, const char* why);
    // A piece is ours (verified here or by an HTTP source): counted, told
    // to every peer, and interest in peers that had only it dropped.
    void MarkOurs(uint32_t piece);
    void UpdateInterest(PeerLink& p);
    // `anotherServes`: HTTP fetches, or some other active peer unchokes us
    // and is not snubbed.
    void Request(PeerLink& p, uint64_t now, bool anotherServes);

    // Giving back: serving blocks, choking, the engine's upload cap, the end
    // of seeding (SwarmUpload_win.cpp).
    void Upload(PeerLink& p, uint64_t now);
    bool MayUpload() const;
    bool QuickRoundWanted() const;
    void ChokeRound(uint64_t now);
    void CheckSeedLimits(uint64_t now);

    // The task's segment map and the figures shown (SwarmLoop_win.cpp).
    void SyncWithMap(uint64_t now);
    void Unhold(uint32_t piece);
    // Held pieces no peer is delivering go to the HTTP sources.
    void HandBackStalled(uint64_t now);
    bool AskedOfServingPeer(uint32_t piece, uint64_t now) const;
    void Publish();
    // The home router's mapping of the listening port, told to the trackers.
    void FollowMapping();

    TorrentMeta meta_;
    uint8_t infoHash_[20];
    uint8_t peerId_[20];
    SwarmOptions options_;
    SegmentMap* map_;          // not owned
    SwarmStorage* storage_;    // not owned
    PiecePicker picker_;
    uint64_t haveBytes_ = 0;  // of the pieces in picker_.Have()
    Choker choker_;
    bool winsock_ = false;
    ScopedSocket listener_;
    ScopedSocket listener6_;  // the same port over IPv6, where the system has it
    uint16_t listenPort_ = 0;
    PortMapper::Mapping mapped_;
    std::unique_ptr<TrackerClient> tracker_;
    TrackerClient::Figures figures_;
    std::vector<PeerPtr> peers_;
    int nextPeerId_ = 1;
    PeerCandidates candidates_;
    std::set<PeerAddress> exchanged_;  // candidates only peers told us of
    // What peer exchange said of an address, and who said it (its link id).
    struct Told {
        uint8_t flags = 0;
        int teller = 0;
        uint64_t askedMs = 0;  // when we last asked the teller to introduce us
    };
    std::map<PeerAddress, Told> told_;
    std::vector<std::pair<PeerAddress, bool>> redials_;  // dials over the other transport: address, over uTP
    std::map<IpAddress, uint64_t> introductions_;  // hosts we were introduced to, until then
    std::set<IpAddress> ourAddresses_;  // where peers say they see us from
    ScopedSocket udp_;  // uTP, on the listening port
    std::vector<uint8_t> datagram_;
    PeerBans bans_;
    BlockBlame blame_;
    HeldPieces held_;
    std::map<uint32_t, uint64_t> handedBack_;  // piece -> given to HTTP then
    // Who sent each block of the pieces being fetched, for the blame.
    std::map<uint32_t, std::vector<PeerKey>> senders_;
    std::vector<uint8_t> readBuffer_;
    std::vector<uint8_t> blockBuffer_;
    uint64_t lastRound_ = 0;
    uint64_t lastSync_ = 0;
    std::atomic<bool> completed_{false};
    bool completedSeen_ = false;
    uint64_t completedAtMs_ = 0;
    bool finished_ = false;

    std::mutex lock_;  // guards what Figures reads
    SwarmFigures shown_;
    SpeedMeter downMeter_;
    SpeedMeter upMeter_;
};
