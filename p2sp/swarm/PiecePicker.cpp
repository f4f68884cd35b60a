#include "p2sp/swarm/PiecePicker.h"

#include "p2sp/swarm/PeerWire.h"

#include <algorithm>

PiecePicker::PiecePicker(uint64_t totalSize, uint64_t pieceLength, uint32_t randomSeed)
    : totalSize_(totalSize),
      pieceLength_(pieceLength),
      random_(randomSeed ? randomSeed : 1),
      have_(size_t(pieceLength ? (totalSize + pieceLength - 1) / pieceLength : 0)),
      availability_(have_.Size(), 0) {}

uint32_t PiecePicker::PieceSize(uint32_t piece) const {
    uint64_t begin = uint64_t(piece) * pieceLength_;
    return uint32_t(std::min<uint64_t>(pieceLength_, totalSize_ - begin));
}

uint32_t PiecePicker::BlockCount(uint32_t piece) const { return (PieceSize(piece) + kBlockBytes - 1) / kBlockBytes; }

uint32_t PiecePicker::NextRandom() {
    // xorshift32: enough to spread ties, and repeatable in tests.
    random_ ^= random_ << 13;
    random_ ^= random_ >> 17;
    random_ ^= random_ << 5;
    return random_;
}

void PiecePicker::PeerHasAll(const Bitfield& has, int sign) {
    for (size_t i = 0; i < availability_.size(); ++i) {
        if (!has.Get(i)) continue;
        if (sign > 0) ++availability_[i];
        else if (availability_[i] > 0) --availability_[i];
    }
}

void PiecePicker::PeerHas(uint32_t piece) {
    if (piece < availability_.size()) ++availability_[piece];
}

void PiecePicker::MarkHave(uint32_t piece) {
    have_.Set(piece);
    pieces_.erase(piece);
    reserved_.erase(piece);
}

void PiecePicker::SetReserved(uint32_t piece, bool reserved) {
    if (piece >= have_.Size()) return;
    if (reserved) reserved_.insert(piece);
    else reserved_.erase(piece);
}

size_t PiecePicker::TakeFrom(uint32_t piece, PieceState& state, int peer, size_t max, bool duplicates,
                             std::vector<Block>* out) {
    size_t taken = 0;
    const uint32_t size = PieceSize(piece);
    for (uint32_t b = 0; b < state.received.size() && taken < max; ++b) {
        if (state.received[b]) continue;
        std::vector<int>& asked = state.askedOf[b];
        if (std::find(asked.begin(), asked.end(), peer) != asked.end()) continue;
        if (!asked.empty() && !duplicates) continue;
        asked.push_back(peer);
        Block block;
        block.piece = piece;
        block.begin = b * kBlockBytes;
        block.length = std::min(kBlockBytes, size - block.begin);
        out->push_back(block);
        ++taken;
    }
    return taken;
}

bool PiecePicker::StartRarest(int peer, const Bitfield& has, uint32_t* piece) {
    const size_t count = have_.Size();
    if (count == 0) return false;
    // A random start makes the first of equally rare pieces a random one.
    const size_t start = NextRandom() % count;
    bool found = false;
    uint32_t best = 0;
    for (size_t k = 0; k < count; ++k) {
        const uint32_t i = uint32_t((start + k) % count);
        if (!has.Get(i) || !Wanted(i) || Started(i)) continue;
        if (!found || availability_[i] < availability_[best]) {
            best = i;
            found = true;
        }
    }
    if (!found) return false;
    PieceState& state = pieces_[best];
    const uint32_t blocks = BlockCount(best);
    state.received.assign(blocks, 0);
    state.askedOf.assign(blocks, std::vector<int>());
    if (failedOnce_.count(best)) state.solo = peer;
    *piece = best;
    return true;
}

size_t PiecePicker::Pick(int peer, const Bitfield& has, size_t max, std::vector<Block>* out) {
    size_t taken = 0;
    // Started pieces first.
    for (auto& entry : pieces_) {
        if (taken >= max) return taken;
        if (!has.Get(entry.first) || Reserved(entry.first)) continue;
        if (entry.second.solo >= 0 && entry.second.solo != peer) continue;
        taken += TakeFrom(entry.first, entry.second, peer, max - taken, false, out);
    }
    // Then new pieces, rarest first.
    uint32_t piece = 0;
    while (taken < max && StartRarest(peer, has, &piece))
        taken += TakeFrom(piece, pieces_[piece], peer, max - taken, false, out);
    // Endgame: ask again for blocks already asked of others.
    if (taken == 0 && Endgame()) {
        for (auto& entry : pieces_) {
            if (taken >= max) break;
            if (!has.Get(entry.first) || Reserved(entry.first) || entry.second.solo >= 0) continue;
            taken += TakeFrom(entry.first, entry.second, peer, max - taken, true, out);
        }
    }
    return taken;
}

bool PiecePicker::Received(int peer, const Block& block, std::vector<int>* others) {
    auto it = pieces_.find(block.piece);
    if (it == pieces_.end() || block.begin % kBlockBytes != 0) return false;
    PieceState& state = it->second;
    const uint32_t b = block.begin / kBlockBytes;
    if (b >= state.received.size()) return false;
    if (block.length != std::min(kBlockBytes, PieceSize(block.piece) - block.begin)) return false;
    std::vector<int>& asked = state.askedOf[b];
    auto self = std::find(asked.begin(), asked.end(), peer);
    if (self == asked.end()) return false;  // never asked of this peer, or already cancelled
    asked.erase(self);
    if (state.received[b]) return false;  // a late copy in endgame
    state.received[b] = 1;
    ++state.receivedCount;
    state.senders.insert(peer);
    if (others) *others = asked;
    asked.clear();
    return true;
}

void PiecePicker::Released(int peer, const Block& block) {
    auto it = pieces_.find(block.piece);
    if (it == pieces_.end() || block.begin % kBlockBytes != 0) return;
    const uint32_t b = block.begin / kBlockBytes;
    if (b >= it->second.askedOf.size()) return;
    std::vector<int>& asked = it->second.askedOf[b];
    asked.erase(std::remove(asked.begin(), asked.end(), peer), asked.end());
}

void PiecePicker::PeerGone(int peer) {
    for (auto it = pieces_.begin(); it != pieces_.end();) {
        PieceState& state = it->second;
        for (auto& asked : state.askedOf) asked.erase(std::remove(asked.begin(), asked.end(), peer), asked.end());
        if (state.solo == peer) state.solo = -1;
        // A piece nobody sent anything of yet goes back to the pool, so the
        // rarest-first choice is made again.
        bool idle = state.receivedCount == 0;
        for (const auto& asked : state.askedOf) idle = idle && asked.empty();
        if (idle) {
            it = pieces_.erase(it);
        } else {
            ++it;
        }
    }
}

bool PiecePicker::PieceReceived(uint32_t piece) const {
    auto it = pieces_.find(piece);
    return it != pieces_.end() && it->second.receivedCount == it->second.received.size();
}

void PiecePicker::Verified(uint32_t piece) { MarkHave(piece); }

std::set<int> PiecePicker::Failed(uint32_t piece) {
    std::set<int> senders;
    auto it = pieces_.find(piece);
    if (it == pieces_.end()) return senders;
    senders = it->second.senders;
    pieces_.erase(it);
    failedOnce_.insert(piece);
    return senders;
}

bool PiecePicker::Endgame() const {
    for (uint32_t i = 0; i < have_.Size(); ++i)
        if (Wanted(i) && !Started(i)) return false;
    for (const auto& entry : pieces_) {
        if (Reserved(entry.first)) continue;
        const PieceState& state = entry.second;
        for (size_t b = 0; b < state.received.size(); ++b)
            if (!state.received[b] && state.askedOf[b].empty()) return false;
    }
    return true;
}

bool PiecePicker::Asked(uint32_t piece) const {
    auto it = pieces_.find(piece);
    if (it == pieces_.end()) return false;
    for (const auto& asked : it->second.askedOf)
        if (!asked.empty()) return true;
    return false;
}
