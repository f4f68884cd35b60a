// Winsock 2 must come before anything that includes windows.h.
#include <winsock2.h>

#include "p2sp/swarm/Swarm.h"

#include "p2sp/PieceHash.h"
#include "p2sp/swarm/Choker.h"
#include "p2sp/swarm/PeerLink.h"
#include "p2sp/swarm/PiecePicker.h"
#include "p2sp/swarm/SwarmTrace.h"
#include "p2sp/swarm/TrackerClient.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <bcrypt.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr size_t kPipeline = 16;           // requests in flight per peer (256 KiB)
constexpr size_t kMaxWanted = 256;         // a peer asking for more is flooding
constexpr size_t kUploadBacklog = 32u << 10;  // queue a block only below this many unsent bytes
constexpr size_t kReceiveChunk = 64u << 10;
constexpr size_t kMaxReceivePerRound = 512u << 10;
constexpr uint64_t kHandshakeTimeoutMs = 20000;
constexpr uint64_t kIdleTimeoutMs = 180000;
constexpr uint64_t kKeepAliveMs = 90000;
constexpr uint64_t kSnubMs = 30000;         // requests unanswered this long go elsewhere
constexpr uint64_t kStalledPieceMs = 15000;  // a held piece nobody sends is handed back
constexpr uint64_t kChokeRoundMs = 10000;
constexpr uint64_t kSyncMs = 250;
constexpr uint64_t kRedialMs = 30000;
constexpr int kBadPiecesToBan = 2;
constexpr long kSelectMicroseconds = 50000;

uint64_t Now() { return GetTickCount64(); }

// Milliseconds from `then` to `now`; 0 when `then` is later.
uint64_t Since(uint64_t now, uint64_t then) { return now > then ? now - then : 0; }

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

bool NonBlocking(SOCKET s) {
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}

}  // namespace

class Swarm::Loop {
public:
    Loop(const TorrentMeta& meta, const uint8_t infoHash[20], const SwarmOptions& options, SegmentMap* map,
         SwarmStorage* storage)
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

    ~Loop() { Shutdown(); }

    // Announces "stopped" and closes every socket.
    void Shutdown() {
        if (tracker_) tracker_->Stop();
        tracker_.reset();
        peers_.clear();
        listener_.reset();
        if (winsock_) WSACleanup();
        winsock_ = false;
    }

    bool Open() {
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

    void MarkCompleted() { completed_ = true; }

    SwarmFigures Figures() {
        std::lock_guard<std::mutex> hold(lock_);
        SwarmFigures f = shown_;
        uint64_t now = Now();
        f.downloadRate = downMeter_.Rate(now);
        f.uploadRate = upMeter_.Rate(now);
        return f;
    }

    void RunOnce() {
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
                Upload(*p);
            }
            Housekeep(*p, later);
        }
        if (now - lastRound_ >= kChokeRoundMs || QuickRoundWanted()) ChokeRound(now);
        RefillTokens(now);
        Reap();
        Publish();
    }

private:
    using PeerPtr = std::unique_ptr<PeerLink>;

    // ---- sockets --------------------------------------------------------
    void Listen() {
        for (uint32_t port = options_.firstPort; port <= options_.lastPort; ++port) {
            ScopedSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
            if (!s.valid()) return;
            BOOL exclusive = TRUE;
            setsockopt(s.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                       sizeof(exclusive));
            sockaddr_in at;
            ZeroMemory(&at, sizeof(at));
            at.sin_family = AF_INET;
            at.sin_addr.s_addr = htonl(options_.listenAddress);
            at.sin_port = htons(uint16_t(port));
            if (bind(s.get(), reinterpret_cast<sockaddr*>(&at), sizeof(at)) != 0) continue;
            if (listen(s.get(), 16) != 0 || !NonBlocking(s.get())) continue;
            listener_.reset(s.release());
            listenPort_ = uint16_t(port);
            return;
        }
        // No port free: outgoing connections only; they carry pieces both ways.
    }

    void Dial(uint64_t now) {
        for (const PeerAddress& a : tracker_->TakePeers()) {
            if (candidates_.insert(a).second) SwarmTrace("candidate %08x:%u", a.ipv4, a.port);
        }
        for (const PeerAddress& a : candidates_) {
            if (peers_.size() >= size_t(std::min(options_.maxPeers, 60))) break;
            if (banned_.count(a) || Connected(a)) continue;
            if (listenPort_ && a.port == listenPort_ &&
                (a.ipv4 == options_.listenAddress || (a.ipv4 >> 24) == 127))
                continue;  // ourselves
            auto tried = lastDial_.find(a);
            if (tried != lastDial_.end() && Since(now, tried->second) < kRedialMs) continue;
            lastDial_[a] = now;
            ScopedSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
            if (!s.valid() || !NonBlocking(s.get())) continue;
            sockaddr_in to;
            ZeroMemory(&to, sizeof(to));
            to.sin_family = AF_INET;
            to.sin_addr.s_addr = htonl(a.ipv4);
            to.sin_port = htons(a.port);
            if (connect(s.get(), reinterpret_cast<sockaddr*>(&to), sizeof(to)) != 0 &&
                WSAGetLastError() != WSAEWOULDBLOCK) {
                SwarmTrace("dial %08x:%u failed %d", a.ipv4, a.port, WSAGetLastError());
                continue;
            }
            SwarmTrace("dial %08x:%u", a.ipv4, a.port);
            PeerPtr p(new PeerLink);
            p->id = nextPeerId_++;
            p->address = a;
            p->outgoing = true;
            p->socket.reset(s.release());
            p->stage = PeerLink::Stage::kConnecting;
            p->openedMs = p->lastReceiveMs = p->lastSendMs = now;
            peers_.push_back(std::move(p));
        }
    }

    bool Connected(const PeerAddress& a) const {
        for (const auto& p : peers_)
            if (p->outgoing && p->address == a) return true;
        return false;
    }

    void Accept() {
        for (;;) {
            sockaddr_in from;
            int length = sizeof(from);
            SOCKET s = accept(listener_.get(), reinterpret_cast<sockaddr*>(&from), &length);
            if (s == INVALID_SOCKET) return;
            ScopedSocket owned(s);
            PeerAddress a;
            a.ipv4 = ntohl(from.sin_addr.s_addr);
            a.port = ntohs(from.sin_port);
            if (peers_.size() >= size_t(std::min(options_.maxPeers, 60)) || !NonBlocking(s)) continue;
            PeerPtr p(new PeerLink);
            p->id = nextPeerId_++;
            p->address = a;
            p->socket.reset(owned.release());
            p->stage = PeerLink::Stage::kHandshake;
            p->openedMs = p->lastReceiveMs = p->lastSendMs = Now();
            SwarmTrace("accepted peer %d %08x:%u", p->id, a.ipv4, a.port);
            SendHandshake(*p);
            peers_.push_back(std::move(p));
        }
    }

    void Poll() {
        fd_set readable, writable, failed;
        FD_ZERO(&readable);
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        int count = 0;
        if (listener_.valid()) {
            FD_SET(listener_.get(), &readable);
            ++count;
        }
        for (auto& p : peers_) {
            if (p->stage == PeerLink::Stage::kClosed || count >= FD_SETSIZE) continue;
            SOCKET s = p->socket.get();
            if (p->stage == PeerLink::Stage::kConnecting) {
                FD_SET(s, &writable);
                FD_SET(s, &failed);
            } else {
                FD_SET(s, &readable);
                if (p->Pending() > 0) FD_SET(s, &writable);
            }
            ++count;
        }
        if (count == 0) {
            Sleep(kSelectMicroseconds / 1000);
            return;
        }
        timeval wait = {0, kSelectMicroseconds};
        if (select(0, &readable, &writable, &failed, &wait) <= 0) return;
        if (listener_.valid() && FD_ISSET(listener_.get(), &readable)) Accept();
        for (size_t i = 0; i < peers_.size(); ++i) {
            PeerLink& p = *peers_[i];
            if (p.stage == PeerLink::Stage::kClosed) continue;
            SOCKET s = p.socket.get();
            if (p.stage == PeerLink::Stage::kConnecting) {
                if (FD_ISSET(s, &failed)) {
                    Close(p, "connect failed");
                } else if (FD_ISSET(s, &writable)) {
                    p.stage = PeerLink::Stage::kHandshake;
                    SendHandshake(p);
                }
                continue;
            }
            if (FD_ISSET(s, &readable)) Receive(p);
            if (p.stage != PeerLink::Stage::kClosed && FD_ISSET(s, &writable)) Flush(p);
        }
    }

    void Receive(PeerLink& p) {
        size_t total = 0;
        while (total < kMaxReceivePerRound && p.stage != PeerLink::Stage::kClosed) {
            size_t old = p.in.size();
            p.in.resize(old + kReceiveChunk);
            int got = recv(p.socket.get(), reinterpret_cast<char*>(p.in.data() + old), int(kReceiveChunk), 0);
            if (got <= 0) {
                p.in.resize(old);
                if (got == 0 || WSAGetLastError() != WSAEWOULDBLOCK) Close(p, got == 0 ? "closed by peer" : "receive failed");
                break;
            }
            p.in.resize(old + size_t(got));
            total += size_t(got);
            p.lastReceiveMs = Now();
            Parse(p);
        }
    }

    void Flush(PeerLink& p) {
        while (p.Pending() > 0) {
            int sent = send(p.socket.get(), reinterpret_cast<const char*>(p.out.data() + p.outSent),
                            int(std::min<size_t>(p.Pending(), 1u << 20)), 0);
            if (sent <= 0) {
                if (sent < 0 && WSAGetLastError() != WSAEWOULDBLOCK) Close(p, "send failed");
                break;
            }
            p.outSent += size_t(sent);
            p.lastSendMs = Now();
        }
        if (p.outSent == p.out.size()) {
            p.out.clear();
            p.outSent = 0;
        } else if (p.outSent > (1u << 20)) {
            p.out.erase(p.out.begin(), p.out.begin() + ptrdiff_t(p.outSent));
            p.outSent = 0;
        }
    }

    void Close(PeerLink& p, const char* why) {
        if (p.stage == PeerLink::Stage::kClosed) return;
        SwarmTrace("close peer %d %08x:%u: %s", p.id, p.address.ipv4, p.address.port, why);
        if (p.stage == PeerLink::Stage::kActive) picker_.PeerHasAll(p.has, -1);
        picker_.PeerGone(p.id);
        p.asked.clear();
        p.wanted.clear();
        p.stage = PeerLink::Stage::kClosed;
        p.socket.reset();
        // Pieces nobody is asked for now go back to the other sources at
        // once; what of them arrived is fetched again whole.
        std::vector<uint32_t> orphaned;
        for (uint32_t piece : held_)
            if (!picker_.Asked(piece)) orphaned.push_back(piece);
        for (uint32_t piece : orphaned) {
            picker_.Abandon(piece);
            Unhold(piece);
        }
    }

    void Reap() {
        peers_.erase(std::remove_if(peers_.begin(), peers_.end(),
                                    [](const PeerPtr& p) { return p->stage == PeerLink::Stage::kClosed; }),
                     peers_.end());
    }

    // ---- protocol -------------------------------------------------------
    void SendHandshake(PeerLink& p) {
        if (p.handshakeSent) return;
        Handshake h;
        std::memcpy(h.infoHash, infoHash_, 20);
        std::memcpy(h.peerId, peerId_, 20);
        uint8_t bytes[kHandshakeBytes];
        EncodeHandshake(h, bytes);
        p.out.insert(p.out.end(), bytes, bytes + kHandshakeBytes);
        p.handshakeSent = true;
        Flush(p);
    }

    void Parse(PeerLink& p) {
        size_t pos = 0;
        if (p.stage == PeerLink::Stage::kHandshake) {
            if (p.in.size() < kHandshakeBytes) return;
            Handshake h;
            if (!DecodeHandshake(p.in.data(), &h) || std::memcmp(h.infoHash, infoHash_, 20) != 0 ||
                std::memcmp(h.peerId, peerId_, 20) == 0 ||
                bannedIds_.count(std::string(reinterpret_cast<const char*>(h.peerId), 20))) {
                Close(p, "handshake refused");  // another protocol, another torrent, ourselves, or banned
                return;
            }
            std::memcpy(p.peerId, h.peerId, 20);
            pos = kHandshakeBytes;
            SwarmTrace("peer %d %08x:%u active", p.id, p.address.ipv4, p.address.port);
            p.stage = PeerLink::Stage::kActive;
            p.has = Bitfield(picker_.PieceCount());
            if (picker_.Have().Count() > 0) AppendBitfield(picker_.Have(), &p.out);
        }
        WireLimits limits;
        limits.pieceCount = picker_.PieceCount();
        while (p.stage == PeerLink::Stage::kActive) {
            PeerMessage m;
            size_t used = 0;
            WireResult r = ParsePeerMessage(p.in.data() + pos, p.in.size() - pos, limits, &m, &used);
            if (r == WireResult::kNeedMore) break;
            if (r == WireResult::kMalformed || !Handle(p, m)) {
                SwarmTrace("bad message %d len %u", int(m.type), unsigned(used));
                Close(p, "protocol broken");
                return;
            }
            pos += used;
        }
        p.in.erase(p.in.begin(), p.in.begin() + ptrdiff_t(pos));
    }

    // False when the message breaks the protocol: the peer is closed.
    bool Handle(PeerLink& p, const PeerMessage& m) {
        switch (m.type) {
        case PeerMessageType::kChoke:
            p.peerChoking = true;
            for (const auto& b : p.asked) picker_.Released(p.id, b);
            p.asked.clear();
            return true;
        case PeerMessageType::kUnchoke: p.peerChoking = false; return true;
        case PeerMessageType::kInterested: p.peerInterested = true; return true;
        case PeerMessageType::kNotInterested: p.peerInterested = false; return true;
        case PeerMessageType::kHave:
            if (!p.has.Get(m.index)) {
                p.has.Set(m.index);
                picker_.PeerHas(m.index);
                if (!picker_.Have().Get(m.index)) ++p.lacking;
                UpdateInterest(p);
            }
            return true;
        case PeerMessageType::kBitfield: {
            Bitfield has;
            if (!has.FromWire(m.payload, m.payloadSize, picker_.PieceCount())) return false;
            picker_.PeerHasAll(p.has, -1);
            p.has = has;
            picker_.PeerHasAll(p.has, +1);
            p.lacking = 0;
            for (size_t i = 0; i < has.Size(); ++i) p.lacking += has.Get(i) && !picker_.Have().Get(i) ? 1 : 0;
            UpdateInterest(p);
            return true;
        }
        case PeerMessageType::kRequest: {
            if (p.amChoking || !picker_.Have().Get(m.index)) return true;  // dropped, as choking says
            if (uint64_t(m.begin) + m.length > picker_.PieceSize(m.index)) return false;
            if (p.wanted.size() >= kMaxWanted) return false;
            PiecePicker::Block b;
            b.piece = m.index;
            b.begin = m.begin;
            b.length = m.length;
            p.wanted.push_back(b);
            return true;
        }
        case PeerMessageType::kCancel:
            for (auto it = p.wanted.begin(); it != p.wanted.end(); ++it)
                if (it->piece == m.index && it->begin == m.begin && it->length == m.length) {
                    p.wanted.erase(it);
                    break;
                }
            return true;
        case PeerMessageType::kPiece: return TakeBlock(p, m);
        default: return true;  // keep-alive, port, extensions we did not offer
        }
    }

    bool TakeBlock(PeerLink& p, const PeerMessage& m) {
        PiecePicker::Block b;
        b.piece = m.index;
        b.begin = m.begin;
        b.length = m.length;
        auto mine = std::find(p.asked.begin(), p.asked.end(), b);
        if (mine == p.asked.end()) return true;  // not asked (or cancelled): ignored
        p.asked.erase(mine);
        std::vector<int> others;
        if (!picker_.Received(p.id, b, &others)) return true;
        const uint64_t offset = uint64_t(b.piece) * meta_.pieceLength + b.begin;
        if (!storage_->WriteAt(offset, m.payload, b.length)) {
            // The file is gone for now (the task stops): the piece starts over.
            picker_.Abandon(b.piece);
            Unhold(b.piece);
            return true;
        }
        const uint64_t now = Now();
        p.lastBlockMs = now;
        p.downloaded += b.length;
        pieceActivity_[b.piece] = now;
        for (int other : others) CancelAt(other, b);
        if (picker_.PieceReceived(b.piece)) Check(b.piece);
        return true;
    }

    void CancelAt(int peerId, const PiecePicker::Block& b) {
        for (auto& q : peers_) {
            if (q->id != peerId || q->stage != PeerLink::Stage::kActive) continue;
            auto it = std::find(q->asked.begin(), q->asked.end(), b);
            if (it == q->asked.end()) return;
            q->asked.erase(it);
            AppendBlockMessage(PeerMessageType::kCancel, b.piece, b.begin, b.length, &q->out);
        }
    }

    // A piece has all its blocks: its SHA-1 decides.
    void Check(uint32_t piece) {
        const uint64_t begin = uint64_t(piece) * meta_.pieceLength;
        const uint32_t size = picker_.PieceSize(piece);
        std::vector<uint8_t> digest;
        bool good = false;
        PieceHash sha1("sha-1");
        if (sha1.Valid() && sha1.Start()) {
            readBuffer_.resize(std::min<size_t>(size, 1u << 20));
            bool ok = true;
            for (uint32_t done = 0; ok && done < size;) {
                DWORD n = DWORD(std::min<size_t>(size - done, readBuffer_.size()));
                ok = storage_->ReadAt(begin + done, readBuffer_.data(), n) && sha1.Update(readBuffer_.data(), n);
                done += n;
            }
            good = ok && sha1.Finish(&digest) && digest.size() == kSha1Bytes &&
                   std::memcmp(digest.data(), meta_.pieces.data() + size_t(piece) * kSha1Bytes, kSha1Bytes) == 0;
        }
        SwarmTrace("piece %u %s", piece, good ? "good" : "BAD");
        if (good) {
            map_->MarkDone(begin, begin + size);
            Unhold(piece);
            MarkOurs(piece);
            figures_.downloaded += size;
            figures_.left = meta_.length - haveBytes_;
            {
                std::lock_guard<std::mutex> hold(lock_);
                shown_.downloaded += size;
                downMeter_.Add(size, Now());
            }
            return;
        }
        std::set<int> senders = picker_.Failed(piece);
        Unhold(piece);
        {
            std::lock_guard<std::mutex> hold(lock_);
            ++shown_.badPieces;
        }
        // Several senders: the piece is fetched again from one peer alone,
        // and that one answers for it.
        if (senders.size() != 1) return;
        // Known by the address we dialled, or by its peer id when it dialled
        // us (its port is then a passing one).
        for (auto& q : peers_) {
            if (q->id != *senders.begin()) continue;
            const std::string id(reinterpret_cast<const char*>(q->peerId), 20);
            int& strikes = q->outgoing ? strikes_[q->address] : idStrikes_[id];
            if (++strikes >= kBadPiecesToBan) {
                if (q->outgoing) banned_.insert(q->address);
                bannedIds_.insert(id);
                {
                    std::lock_guard<std::mutex> hold(lock_);
                    ++shown_.banned;
                }
                Close(*q, "banned");
            }
        }
    }

    // A piece is ours (verified here or by an HTTP source): counted, told
    // to every peer, and interest in peers that had only it dropped.
    void MarkOurs(uint32_t piece) {
        if (picker_.Have().Get(piece)) return;
        picker_.MarkHave(piece);
        haveBytes_ += picker_.PieceSize(piece);
        for (auto& q : peers_) {
            if (q->stage != PeerLink::Stage::kActive) continue;
            if (q->has.Get(piece) && q->lacking > 0) --q->lacking;
            AppendHave(piece, &q->out);
            UpdateInterest(*q);
        }
    }

    void UpdateInterest(PeerLink& p) {
        const bool want = !completedSeen_ && p.lacking > 0;
        if (want == p.amInterested) return;
        p.amInterested = want;
        AppendSimple(want ? PeerMessageType::kInterested : PeerMessageType::kNotInterested, &p.out);
    }

    void Request(PeerLink& p, uint64_t now) {
        if (completedSeen_ || p.peerChoking || !p.amInterested || p.asked.size() >= kPipeline) return;
        std::vector<PiecePicker::Block> blocks;
        picker_.Pick(p.id, p.has, kPipeline - p.asked.size(), &blocks);
        for (const auto& b : blocks) {
            if (!held_.count(b.piece)) {
                const uint64_t begin = uint64_t(b.piece) * meta_.pieceLength;
                if (!map_->Hold(int(b.piece), ByteRange{begin, begin + picker_.PieceSize(b.piece)})) {
                    // An HTTP connection took it meanwhile.
                    picker_.Abandon(b.piece);
                    picker_.SetReserved(b.piece, true);
                    continue;
                }
                held_.insert(b.piece);
                pieceActivity_[b.piece] = now;
            }
            if (!picker_.Started(b.piece)) continue;
            if (p.asked.empty()) p.lastBlockMs = now;  // the wait for an answer starts now
            p.asked.push_back(b);
            AppendBlockMessage(PeerMessageType::kRequest, b.piece, b.begin, b.length, &p.out);
        }
    }

    void Upload(PeerLink& p) {
        while (!p.amChoking && !p.wanted.empty() && p.Pending() < kUploadBacklog && tokens_ >= int64_t(kBlockBytes)) {
            PiecePicker::Block b = p.wanted.front();
            p.wanted.pop_front();
            blockBuffer_.resize(b.length);
            const uint64_t offset = uint64_t(b.piece) * meta_.pieceLength + b.begin;
            if (!storage_->ReadAt(offset, blockBuffer_.data(), b.length)) continue;
            AppendPiece(b.piece, b.begin, blockBuffer_.data(), b.length, &p.out);
            tokens_ -= int64_t(b.length);
            p.uploaded += b.length;
            figures_.uploaded += b.length;
            std::lock_guard<std::mutex> hold(lock_);
            shown_.uploaded += b.length;
            upMeter_.Add(b.length, Now());
        }
        if (p.Pending() > 0) Flush(p);
    }

    void Housekeep(PeerLink& p, uint64_t now) {
        if (p.stage == PeerLink::Stage::kClosed) return;
        if (p.stage != PeerLink::Stage::kActive) {
            if (Since(now, p.openedMs) > kHandshakeTimeoutMs) Close(p, "no handshake");
            return;
        }
        if (Since(now, p.lastReceiveMs) > kIdleTimeoutMs) {
            Close(p, "idle");
            return;
        }
        // Two seeds have nothing to say to each other.
        if (completedSeen_ && p.has.All()) {
            Close(p, "both seeds");
            return;
        }
        if (!p.asked.empty() && Since(now, p.lastBlockMs) > kSnubMs) {
            for (const auto& b : p.asked) picker_.Released(p.id, b);
            p.asked.clear();
        }
        if (Since(now, p.lastSendMs) > kKeepAliveMs && p.Pending() == 0) AppendKeepAlive(&p.out);
        if (p.Pending() > 0) Flush(p);
    }

    // ---- choking and the upload cap --------------------------------------
    bool QuickRoundWanted() const {
        // A new interested peer need not wait ten seconds while slots are free.
        int unchoked = 0;
        bool waiting = false;
        for (const auto& p : peers_) {
            if (p->stage != PeerLink::Stage::kActive) continue;
            if (!p->amChoking) ++unchoked;
            else if (p->peerInterested) waiting = true;
        }
        return waiting && unchoked < choker_.Slots() && options_.uploadCap > 0;
    }

    void ChokeRound(uint64_t now) {
        const uint64_t elapsed = std::max<uint64_t>(1, Since(now, lastRound_));
        lastRound_ = now;
        std::vector<ChokerPeer> input;
        for (auto& p : peers_) {
            if (p->stage != PeerLink::Stage::kActive) continue;
            p->rateDown = (p->downloaded - p->downloadedAtRound) * 1000 / elapsed;
            p->rateUp = (p->uploaded - p->uploadedAtRound) * 1000 / elapsed;
            p->downloadedAtRound = p->downloaded;
            p->uploadedAtRound = p->uploaded;
            ChokerPeer c;
            c.id = p->id;
            c.interested = p->peerInterested && options_.uploadCap > 0;
            c.rate = completedSeen_ ? p->rateUp : p->rateDown;
            input.push_back(c);
        }
        std::vector<int> unchoke = choker_.Round(input);
        for (auto& p : peers_) {
            if (p->stage != PeerLink::Stage::kActive) continue;
            bool up = std::find(unchoke.begin(), unchoke.end(), p->id) != unchoke.end();
            if (up == !p->amChoking) continue;
            p->amChoking = !up;
            if (!up) p->wanted.clear();  // a choke drops what it asked for
            AppendSimple(up ? PeerMessageType::kUnchoke : PeerMessageType::kChoke, &p->out);
        }
    }

    void RefillTokens(uint64_t now) {
        const uint64_t elapsed = Since(now, lastRefill_);
        lastRefill_ = now;
        if (options_.uploadCap == 0) {
            tokens_ = 0;
            return;
        }
        tokens_ += int64_t(uint64_t(options_.uploadCap) * std::min<uint64_t>(elapsed, 1000) / 1000);
        // At most a second's worth banked, and always room for one block.
        tokens_ = std::min<int64_t>(tokens_, std::max<int64_t>(options_.uploadCap, kBlockBytes));
    }

    // ---- the task's segment map -----------------------------------------
    void SyncWithMap(uint64_t now) {
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

    void Unhold(uint32_t piece) {
        if (held_.erase(piece)) map_->Unhold(int(piece));
        pieceActivity_.erase(piece);
    }

    void ReleaseStalledPieces(uint64_t now) {
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

    void Publish() {
        std::lock_guard<std::mutex> hold(lock_);
        uint16_t active = 0;
        for (const auto& p : peers_) active += p->stage == PeerLink::Stage::kActive ? 1 : 0;
        shown_.peers = active;
        shown_.listenPort = listenPort_;
        shown_.announces = uint16_t(std::min(tracker_->Announces(), 0xFFFF));
        shown_.trackerFailures = uint16_t(std::min(tracker_->Failures(), 0xFFFF));
    }

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
    uint16_t listenPort_ = 0;
    std::unique_ptr<TrackerClient> tracker_;
    TrackerClient::Figures figures_;
    std::vector<PeerPtr> peers_;
    int nextPeerId_ = 1;
    std::set<PeerAddress> candidates_;
    std::map<PeerAddress, uint64_t> lastDial_;
    std::set<PeerAddress> banned_;
    std::set<std::string> bannedIds_;
    std::map<PeerAddress, int> strikes_;
    std::map<std::string, int> idStrikes_;
    std::set<uint32_t> held_;
    std::map<uint32_t, uint64_t> pieceActivity_;
    std::vector<uint8_t> readBuffer_;
    std::vector<uint8_t> blockBuffer_;
    int64_t tokens_ = 0;
    uint64_t lastRefill_ = Now();
    uint64_t lastRound_ = 0;
    uint64_t lastSync_ = 0;
    std::atomic<bool> completed_{false};
    bool completedSeen_ = false;

    std::mutex lock_;  // guards what Figures reads
    SwarmFigures shown_;
    SpeedMeter downMeter_;
    SpeedMeter upMeter_;
};

Swarm::Swarm(const TorrentMeta& meta, const uint8_t infoHash[20], const SwarmOptions& options, SegmentMap* map,
             SwarmStorage* storage)
    : loop_(new Loop(meta, infoHash, options, map, storage)) {}

Swarm::~Swarm() { Stop(); }

bool Swarm::Start() {
    if (thread_.joinable()) return true;
    stop_ = false;
    running_ = true;
    thread_ = std::thread(&Swarm::Run, this);
    return true;
}

void Swarm::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void Swarm::RequestStop() { stop_ = true; }

void Swarm::Completed() { loop_->MarkCompleted(); }

SwarmFigures Swarm::Figures() { return loop_->Figures(); }

void Swarm::Run() {
    if (loop_->Open())
        while (!stop_.load()) loop_->RunOnce();
    loop_->Shutdown();
    running_ = false;
}
