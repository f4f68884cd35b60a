#include "p2sp/swarm/SwarmLoop.h"

#include "p2sp/PieceHash.h"
#include "p2sp/swarm/SwarmTrace.h"

#include <algorithm>
#include <cstring>

void SwarmLoop::SendHandshake(PeerLink& p) {
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

void SwarmLoop::Parse(PeerLink& p) {
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
bool SwarmLoop::Handle(PeerLink& p, const PeerMessage& m) {
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

bool SwarmLoop::TakeBlock(PeerLink& p, const PeerMessage& m) {
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

void SwarmLoop::CancelAt(int peerId, const PiecePicker::Block& b) {
    for (auto& q : peers_) {
        if (q->id != peerId || q->stage != PeerLink::Stage::kActive) continue;
        auto it = std::find(q->asked.begin(), q->asked.end(), b);
        if (it == q->asked.end()) return;
        q->asked.erase(it);
        AppendBlockMessage(PeerMessageType::kCancel, b.piece, b.begin, b.length, &q->out);
    }
}

// A piece has all its blocks: its SHA-1 decides.
void SwarmLoop::Check(uint32_t piece) {
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
void SwarmLoop::MarkOurs(uint32_t piece) {
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

void SwarmLoop::UpdateInterest(PeerLink& p) {
    const bool want = !completedSeen_ && p.lacking > 0;
    if (want == p.amInterested) return;
    p.amInterested = want;
    AppendSimple(want ? PeerMessageType::kInterested : PeerMessageType::kNotInterested, &p.out);
}

void SwarmLoop::Request(PeerLink& p, uint64_t now) {
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
