#include "p2sp/swarm/SwarmLoop.h"

#include "p2sp/PieceHash.h"
#include "p2sp/swarm/DuplicateLink.h"
#include "p2sp/swarm/SwarmTrace.h"

#include <algorithm>
#include <cstring>

void SwarmLoop::SendHandshake(PeerLink& p) {
    if (p.handshakeSent) return;
    Handshake h;
    std::memcpy(h.infoHash, infoHash_, 20);
    std::memcpy(h.peerId, peerId_, 20);
    h.reserved[5] |= 0x10;  // the extension protocol, for peer exchange
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
            std::memcmp(h.peerId, peerId_, 20) == 0) {
            Close(p, "handshake refused");  // another protocol, another torrent, or ourselves
            return;
        }
        const std::string id(reinterpret_cast<const char*>(h.peerId), 20);
        if (bans_.Banned(p.address.ip) || bans_.BannedId(id)) {
            Close(p, "banned");
            return;
        }
        // The same peer both ways: one connection is enough, the same one
        // at both ends.
        for (const auto& q : peers_) {
            if (q.get() == &p || q->stage != PeerLink::Stage::kActive || q->key.id != id) continue;
            if (KeepNewerLink(p.outgoing, q->outgoing, peerId_, h.peerId)) {
                Close(*q, "already connected");
                continue;
            }
            // The dial itself succeeded: not a failure of the address.
            if (p.outgoing) candidates_.Succeeded(p.address);
            p.outgoing = false;
            Close(p, "already connected");
            return;
        }
        std::memcpy(p.peerId, h.peerId, 20);
        p.key.ip = p.address.ip;
        p.key.id = id;
        pos = kHandshakeBytes;
        SwarmTrace("peer %d %s active", p.id, PeerAddressTrace(p.address).c_str());
        p.stage = PeerLink::Stage::kActive;
        p.service.connectedMs = Now();
        if (p.outgoing) candidates_.Succeeded(p.address);
        p.has = Bitfield(picker_.PieceCount());
        if (picker_.Have().Count() > 0) AppendBitfield(picker_.Have(), &p.out);
        p.extensions = h.Extensions();
        if (p.extensions)
            AppendExtended(0, ExtendedHandshakePayload(mapped_.externalPort ? mapped_.externalPort : listenPort_,
                                                       UtpAllowed(), &p.address.ip),
                           &p.out);
    }
    WireLimits limits;
    limits.pieceCount = picker_.PieceCount();
    limits.extensions = p.extensions;
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
    const bool first = p.messages == 0;
    // The extension handshake may come before the bitfield (some clients
    // send it first): it does not make the bitfield late.
    if (m.type != PeerMessageType::kKeepAlive && m.type != PeerMessageType::kExtended) ++p.messages;
    switch (m.type) {
    case PeerMessageType::kChoke:
        p.peerChoking = true;
        for (const auto& b : p.asked) picker_.Released(p.id, b);
        p.asked.clear();
        p.service.NothingOut();
        return true;
    case PeerMessageType::kUnchoke: p.peerChoking = false; return true;
    case PeerMessageType::kInterested:
        p.peerInterested = true;
        p.service.lastInterestMs = Now();
        return true;
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
        // As the first message; a later one (aria2 sends one when its
        // download is complete) may only add pieces, as a batch of haves:
        // a peer does not lose a piece it said it has.
        Bitfield has;
        if (!has.FromWire(m.payload, m.payloadSize, picker_.PieceCount())) return false;
        if (!first)
            for (size_t i = 0; i < has.Size(); ++i)
                if (p.has.Get(i) && !has.Get(i)) return false;
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
        // A long queue is common (250 to 500); beyond it requests are
        // dropped, not the peer.
        if (p.wanted.size() >= kMaxWanted) return true;
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
    case PeerMessageType::kExtended: return HandleExtended(p, m);
    default: return true;  // keep-alive, port, extensions we did not offer
    }
}

bool SwarmLoop::HandleExtended(PeerLink& p, const PeerMessage& m) {
    if (m.index == 0) {
        if (!ParseExtendedHandshake(m.payload, m.payloadSize, &p.extended)) return false;
        // Where peers see us from: the tracker lists us there, and dialling
        // ourselves through our own router is of no use.
        if (p.extended.saidYourIp && ourAddresses_.size() < kMaxOurAddresses) ourAddresses_.insert(p.extended.yourIp);
        return true;
    }
    if (m.index == kOurHolepunchId) return HandleHolePunch(p, m);
    if (m.index != kOurPexId) return true;  // an extension we did not offer
    const uint64_t now = Now();
    // One message a minute is the rule; a peer that floods is not heard.
    if (p.pexReceivedMs && now - p.pexReceivedMs < kPexIntervalMs / 2) return true;
    p.pexReceivedMs = now;
    std::vector<PeerAddress> added;
    std::vector<uint8_t> flags;
    if (!ParsePex(m.payload, m.payloadSize, &added, &flags)) return false;
    SwarmTrace("peer %d told of %u peers", p.id, unsigned(added.size()));
    for (size_t i = 0; i < added.size(); ++i) {
        const PeerAddress& a = added[i];
        // What it says of each, and that it said it, for an introduction
        // later: kept for peers the tracker names too.
        if (told_.count(a) || told_.size() < kMaxTold) told_[a] = Told{flags[i], p.id, told_[a].askedMs};
        // One nobody could dial but that takes introductions: asked at once,
        // since our own dial would only be dropped by its router.
        if ((flags[i] & kPexHolepunch) && !(flags[i] & kPexReachable) && !LinkedTo(a)) AskIntroduction(a, now);
        if (candidates_.Knows(a) || exchanged_.size() >= PeerCandidates::kMaxCandidates) continue;
        if (candidates_.Add(a)) exchanged_.insert(a);
    }
    return true;
}

void SwarmLoop::ExchangePeers(uint64_t now) {
    // Exchanged addresses the candidates forgot (failed too often) go too.
    for (auto it = exchanged_.begin(); it != exchanged_.end();)
        it = candidates_.Knows(*it) ? std::next(it) : exchanged_.erase(it);
    for (auto it = told_.begin(); it != told_.end();)
        it = candidates_.Knows(it->first) ? std::next(it) : told_.erase(it);
    // Where each active peer can be dialled (the address we dialled, or the
    // port an accepted one said it listens on), and what we know of it.
    std::set<PeerAddress> reachable;
    std::map<PeerAddress, uint8_t> flagsOf;
    for (const auto& q : peers_) {
        if (q->stage != PeerLink::Stage::kActive) continue;
        const PeerAddress at = DialBack(*q);
        if (at.port == 0) continue;
        reachable.insert(at);
        flagsOf[at] = uint8_t((q->utp ? kPexUtp : 0) | (q->extended.holepunchId ? kPexHolepunch : 0) |
                              (q->outgoing ? kPexReachable : 0) | (q->has.All() ? kPexSeed : 0));
    }
    for (auto& q : peers_) {
        if (q->stage != PeerLink::Stage::kActive || q->extended.pexId == 0) continue;
        if (q->pexSentMs && now - q->pexSentMs < kPexIntervalMs) continue;
        std::set<PeerAddress> others = reachable;
        others.erase(q->address);
        if (q->extended.listenPort) others.erase(PeerAddress{q->address.ip, q->extended.listenPort});
        std::vector<PeerAddress> added, dropped;
        PexDifference(others, &q->told, &added, &dropped);
        if (added.empty() && dropped.empty()) continue;
        std::vector<uint8_t> flags;
        for (const PeerAddress& a : added) flags.push_back(flagsOf[a]);
        AppendExtended(q->extended.pexId, PexPayload(added, dropped, flags), &q->out);
        SwarmTrace("peer %d told of %u added, %u dropped", q->id, unsigned(added.size()), unsigned(dropped.size()));
        q->pexSentMs = now;
        Flush(*q);
    }
}

bool SwarmLoop::TakeBlock(PeerLink& p, const PeerMessage& m) {
    PiecePicker::Block b;
    b.piece = m.index;
    b.begin = m.begin;
    b.length = m.length;
    auto mine = std::find(p.asked.begin(), p.asked.end(), b);
    if (mine == p.asked.end()) {
        // Not asked, or cancelled: ignored. A few arrive after an endgame
        // cancel; a stream of them is a peer wasting our line.
        if (++p.unsolicited > kMaxUnsolicited) Close(p, "unsolicited blocks");
        return true;
    }
    p.asked.erase(mine);
    const uint64_t now = Now();
    p.service.Delivered(now, !p.asked.empty());
    p.received.Add(b.length, now);
    p.service.rate = p.received.Rate(now);
    std::vector<int> others;
    if (!picker_.Received(p.id, b, &others)) return true;
    const uint64_t pieceBegin = uint64_t(b.piece) * meta_.pieceLength;
    const uint64_t offset = pieceBegin + b.begin;
    // Written only while the piece is still ours in the task's map: once
    // an HTTP source has taken it, a late block must not land in it.
    const bool written = map_->WriteHeld(int(b.piece), offset, offset + b.length,
                                         [&] { return storage_->WriteAt(offset, m.payload, b.length); });
    if (!written) {
        SwarmTrace("block %u/%u refused: the piece is no longer ours", b.piece, b.begin);
        CancelPiece(b.piece);
        picker_.Abandon(b.piece);
        Unhold(b.piece);
        return true;
    }
    p.downloaded += b.length;
    held_.Delivered(b.piece, now);
    std::vector<PeerKey>& senders = senders_[b.piece];
    const size_t block = b.begin / kBlockBytes;
    if (senders.size() <= block) senders.resize((picker_.PieceSize(b.piece) + kBlockBytes - 1) / kBlockBytes);
    if (block < senders.size()) senders[block] = p.key;
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
        if (q->asked.empty()) q->service.NothingOut();
        AppendBlockMessage(PeerMessageType::kCancel, b.piece, b.begin, b.length, &q->out);
    }
}

void SwarmLoop::CancelPiece(uint32_t piece) {
    for (auto& q : peers_) {
        if (q->stage != PeerLink::Stage::kActive) continue;
        for (auto it = q->asked.begin(); it != q->asked.end();) {
            if (it->piece != piece) {
                ++it;
                continue;
            }
            picker_.Released(q->id, *it);
            AppendBlockMessage(PeerMessageType::kCancel, it->piece, it->begin, it->length, &q->out);
            it = q->asked.erase(it);
        }
        if (q->asked.empty()) q->service.NothingOut();
    }
}

void SwarmLoop::CancelAll(PeerLink& p) {
    for (const auto& b : p.asked) {
        picker_.Released(p.id, b);
        AppendBlockMessage(PeerMessageType::kCancel, b.piece, b.begin, b.length, &p.out);
    }
    p.asked.clear();
    p.service.NothingOut();
}

// A piece has all its blocks: its SHA-1 decides.
void SwarmLoop::Check(uint32_t piece) {
    const uint64_t begin = uint64_t(piece) * meta_.pieceLength;
    const uint32_t size = picker_.PieceSize(piece);
    std::vector<uint8_t> digest;
    PieceHash sha1("sha-1");
    bool readable = sha1.Valid() && sha1.Start();
    if (readable) {
        readBuffer_.resize(std::min<size_t>(size, 1u << 20));
        for (uint32_t done = 0; readable && done < size;) {
            DWORD n = DWORD(std::min<size_t>(size - done, readBuffer_.size()));
            readable = storage_->ReadAt(begin + done, readBuffer_.data(), n) && sha1.Update(readBuffer_.data(), n);
            done += n;
        }
        readable = readable && sha1.Finish(&digest) && digest.size() == kSha1Bytes;
    }
    if (!readable) {
        // Our disk or our hashing failed, not the peers: nobody is blamed,
        // and the piece is fetched again.
        SwarmTrace("piece %u unreadable", piece);
        picker_.Abandon(piece);
        Unhold(piece);
        return;
    }
    const bool good = std::memcmp(digest.data(), meta_.pieces.data() + size_t(piece) * kSha1Bytes, kSha1Bytes) == 0;
    SwarmTrace("piece %u %s", piece, good ? "good" : "BAD");
    if (good) {
        if (!map_->MarkHeldDone(int(piece), begin, begin + size)) {
            // An HTTP source took it meanwhile; its own copy counts.
            picker_.Abandon(piece);
            Unhold(piece);
            return;
        }
        held_.Release(piece);
        senders_.erase(piece);
        MarkOurs(piece);
        if (blame_.Suspect(piece)) Acquit(piece);
        figures_.downloaded += size;
        figures_.left = meta_.length - haveBytes_;
        std::lock_guard<std::mutex> hold(lock_);
        shown_.downloaded += size;
        downMeter_.Add(size, Now());
        return;
    }
    Blame(piece);
    picker_.Failed(piece);
    Unhold(piece);
    std::lock_guard<std::mutex> hold(lock_);
    ++shown_.badPieces;
}

bool SwarmLoop::BlockDigests(uint32_t piece, std::vector<BlockBlame::Digest>* digests) {
    const uint64_t begin = uint64_t(piece) * meta_.pieceLength;
    const uint32_t size = picker_.PieceSize(piece);
    digests->clear();
    PieceHash sha1("sha-1");
    readBuffer_.resize(kBlockBytes);
    for (uint32_t at = 0; at < size; at += kBlockBytes) {
        const DWORD n = DWORD(std::min<uint32_t>(kBlockBytes, size - at));
        std::vector<uint8_t> digest;
        if (!sha1.Valid() || !sha1.Start() || !storage_->ReadAt(begin + at, readBuffer_.data(), n) ||
            !sha1.Update(readBuffer_.data(), n) || !sha1.Finish(&digest) || digest.size() != kSha1Bytes)
            return false;
        BlockBlame::Digest d;
        std::copy(digest.begin(), digest.end(), d.begin());
        digests->push_back(d);
    }
    return true;
}

void SwarmLoop::Blame(uint32_t piece) {
    auto it = senders_.find(piece);
    if (it == senders_.end()) return;
    const std::vector<PeerKey> senders = it->second;
    senders_.erase(it);
    std::vector<PeerKey> distinct;
    for (const PeerKey& k : senders)
        if (!k.id.empty() && std::find(distinct.begin(), distinct.end(), k) == distinct.end()) distinct.push_back(k);
    if (distinct.size() == 1) {
        // One sender: the whole piece is its doing.
        if (bans_.Strike(distinct.front())) BanPeer(distinct.front(), "banned: bad pieces");
        return;
    }
    // Several senders: what each block held is kept, to be compared with
    // the good copy once one arrives.
    std::vector<BlockBlame::Digest> digests;
    if (!BlockDigests(piece, &digests)) return;
    std::vector<BlockBlame::Sent> sent;
    for (size_t b = 0; b < senders.size() && b < digests.size(); ++b) {
        if (senders[b].id.empty()) continue;
        BlockBlame::Sent s;
        s.block = uint32_t(b);
        s.sender = senders[b];
        s.digest = digests[b];
        sent.push_back(s);
    }
    blame_.Failed(piece, sent);
}

void SwarmLoop::Acquit(uint32_t piece) {
    std::vector<BlockBlame::Digest> good;
    if (!BlockDigests(piece, &good)) return;
    for (const PeerKey& k : blame_.Verified(piece, good)) BanPeer(k, "banned: a bad block");
}

void SwarmLoop::BanPeer(const PeerKey& key, const char* why) {
    bans_.Ban(key);
    if (key.ip.IsV4()) SwarmTrace("ban %08x", key.ip.V4Value());
    else SwarmTrace("ban %s", IpAddressText(key.ip).c_str());
    {
        std::lock_guard<std::mutex> hold(lock_);
        shown_.banned = uint16_t(std::min<size_t>(bans_.Count(), 0xFFFF));
    }
    for (auto& q : peers_)
        if (q->stage != PeerLink::Stage::kClosed && (q->address.ip.Host() == key.ip.Host() || q->key.id == key.id)) Close(*q, why);
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

void SwarmLoop::Request(PeerLink& p, uint64_t now, bool anotherServes) {
    if (completedSeen_ || p.peerChoking || !p.amInterested) return;
    const size_t budget = p.service.RequestBudget(now, anotherServes);
    if (p.asked.size() >= budget) return;
    std::vector<PiecePicker::Block> blocks;
    picker_.Pick(p.id, p.has, budget - p.asked.size(), &blocks);
    const bool wasWaiting = !p.asked.empty();
    for (const auto& b : blocks) {
        if (!held_.Holds(b.piece)) {
            const uint64_t begin = uint64_t(b.piece) * meta_.pieceLength;
            if (!map_->Hold(int(b.piece), ByteRange{begin, begin + picker_.PieceSize(b.piece)}, now)) {
                // An HTTP connection took it meanwhile.
                picker_.Abandon(b.piece);
                picker_.SetReserved(b.piece, true);
                continue;
            }
            held_.Hold(b.piece, now);
        }
        if (!picker_.Started(b.piece)) continue;
        p.asked.push_back(b);
        AppendBlockMessage(PeerMessageType::kRequest, b.piece, b.begin, b.length, &p.out);
    }
    if (!wasWaiting && !p.asked.empty()) p.service.Asked(now);  // the wait for an answer starts now
}
