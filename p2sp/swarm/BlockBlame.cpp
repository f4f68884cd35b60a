#include "p2sp/swarm/BlockBlame.h"

#include <algorithm>

void BlockBlame::Failed(uint32_t piece, const std::vector<Sent>& blocks) {
    auto it = failed_.find(piece);
    if (it == failed_.end()) {
        while (failed_.size() >= kMaxPieces && !order_.empty()) {
            failed_.erase(order_.front());
            order_.erase(order_.begin());
        }
        it = failed_.emplace(piece, std::vector<Sent>()).first;
        order_.push_back(piece);
    }
    // A piece that fails again adds what the new senders sent; one record
    // per block and sender is enough.
    for (const Sent& s : blocks) {
        bool known = false;
        for (const Sent& k : it->second) known = known || (k.block == s.block && k.sender == s.sender && k.digest == s.digest);
        if (!known && it->second.size() < kMaxRecordsPerPiece) it->second.push_back(s);
    }
}

std::vector<PeerKey> BlockBlame::Verified(uint32_t piece, const std::vector<Digest>& good) {
    std::vector<PeerKey> guilty;
    auto it = failed_.find(piece);
    if (it == failed_.end()) return guilty;
    for (const Sent& s : it->second) {
        if (s.block >= good.size() || s.digest == good[s.block]) continue;
        if (std::find(guilty.begin(), guilty.end(), s.sender) == guilty.end()) guilty.push_back(s.sender);
    }
    Forget(piece);
    return guilty;
}

void BlockBlame::Forget(uint32_t piece) {
    if (!failed_.erase(piece)) return;
    order_.erase(std::remove(order_.begin(), order_.end(), piece), order_.end());
}
