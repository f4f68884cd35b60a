// The pieces a swarm has taken from the task's segment map to ask of
// peers, and when each goes back to the HTTP sources: soon when no peer
// that serves us is asked for any of it, and when no block of it arrived
// for a while even though peers are asked (a peer that unchokes and then
// sends nothing must not hold the download). No platform code; not
// thread-safe.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

class HeldPieces {
public:
    static constexpr uint64_t kStalledMs = 8000;  // no block although asked
    static constexpr uint64_t kOrphanMs = 2000;   // asked of nobody who serves us

    void Hold(uint32_t piece, uint64_t nowMs) { pieces_[piece] = nowMs; }
    bool Holds(uint32_t piece) const { return pieces_.count(piece) != 0; }
    // A block of `piece` arrived.
    void Delivered(uint32_t piece, uint64_t nowMs) {
        auto it = pieces_.find(piece);
        if (it != pieces_.end()) it->second = nowMs;
    }
    bool Release(uint32_t piece) { return pieces_.erase(piece) != 0; }
    void Clear() { pieces_.clear(); }
    size_t Size() const { return pieces_.size(); }
    std::vector<uint32_t> All() const {
        std::vector<uint32_t> all;
        for (const auto& entry : pieces_) all.push_back(entry.first);
        return all;
    }

    // The pieces to give back now; `asked(piece)` tells whether a peer that
    // is not snubbed is asked for a block of it.
    template <typename Asked>
    std::vector<uint32_t> Due(uint64_t nowMs, Asked&& asked) const {
        std::vector<uint32_t> due;
        for (const auto& entry : pieces_) {
            const uint64_t idle = nowMs > entry.second ? nowMs - entry.second : 0;
            if (idle >= kStalledMs || (idle >= kOrphanMs && !asked(entry.first))) due.push_back(entry.first);
        }
        return due;
    }

private:
    std::map<uint32_t, uint64_t> pieces_;  // piece -> held since, or its last block
};
