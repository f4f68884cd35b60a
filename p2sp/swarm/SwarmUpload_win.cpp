#include "p2sp/swarm/SwarmLoop.h"

#include "p2sp/swarm/SwarmTrace.h"
#include "p2sp/swarm/UploadBudget.h"

#include <algorithm>

void SwarmLoop::Upload(PeerLink& p, uint64_t now) {
    while (!p.amChoking && !p.wanted.empty() && p.Pending() < kUploadBacklog && options_.upload &&
           options_.upload->Take(p.wanted.front().length, now)) {
        PiecePicker::Block b = p.wanted.front();
        blockBuffer_.resize(b.length);
        const uint64_t offset = uint64_t(b.piece) * meta_.pieceLength + b.begin;
        if (!storage_->ReadAt(offset, blockBuffer_.data(), b.length)) {
            // The file is between the partial and the finished one (being
            // renamed): the request waits, since a peer never asks twice
            // for a block it was not refused. If the file stays unreadable,
            // a choke tells the peer its requests are gone.
            if (p.unreadableSinceMs == 0) p.unreadableSinceMs = now ? now : 1;
            if (Since(now, p.unreadableSinceMs) >= kUnreadableMs) {
                p.unreadableSinceMs = 0;
                p.amChoking = true;
                p.wanted.clear();
                AppendSimple(PeerMessageType::kChoke, &p.out);
            }
            options_.upload->Give(b.length);
            break;
        }
        p.unreadableSinceMs = 0;
        p.wanted.pop_front();
        AppendPiece(b.piece, b.begin, blockBuffer_.data(), b.length, &p.out);
        p.uploaded += b.length;
        figures_.uploaded += b.length;
        std::lock_guard<std::mutex> hold(lock_);
        shown_.uploaded += b.length;
        upMeter_.Add(b.length, Now());
    }
    if (p.Pending() > 0) Flush(p);
}

bool SwarmLoop::QuickRoundWanted() const {
    // A new interested peer need not wait ten seconds while slots are free.
    int unchoked = 0;
    bool waiting = false;
    for (const auto& p : peers_) {
        if (p->stage != PeerLink::Stage::kActive) continue;
        if (!p->amChoking) ++unchoked;
        else if (p->peerInterested) waiting = true;
    }
    return waiting && unchoked < choker_.Slots() && MayUpload();
}

bool SwarmLoop::MayUpload() const { return options_.upload && options_.upload->Cap() > 0; }

void SwarmLoop::ChokeRound(uint64_t now) {
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
        c.interested = p->peerInterested && MayUpload();
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

void SwarmLoop::CheckSeedLimits(uint64_t now) {
    if (!completedSeen_ || finished_) return;
    if (!options_.seedLimits.Over(figures_.uploaded.load(), meta_.length, completedAtMs_, now)) return;
    SwarmTrace("seeding ends: %llu bytes given", static_cast<unsigned long long>(figures_.uploaded.load()));
    finished_ = true;
}
