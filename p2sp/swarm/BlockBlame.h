// Finds who sent the bad blocks of a piece that several peers filled. When
// such a piece fails its check, the digest of each of its blocks as stored
// and the peer that sent it are kept; once the piece verifies (from one
// peer alone, or from HTTP), each kept block is compared with the good
// copy, and the senders of the blocks that differ are named. A peer that
// corrupts one block of pieces it shares with honest peers is found this
// way; an honest peer is never named, since its blocks match.
// Bounded: the pieces kept are few, the oldest make room. No platform code.
#pragma once

#include "p2sp/swarm/PeerBans.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

class BlockBlame {
public:
    using Digest = std::array<uint8_t, 20>;
    struct Sent {
        uint32_t block = 0;  // index within the piece
        PeerKey sender;
        Digest digest{};
    };
    static constexpr size_t kMaxPieces = 64;
    static constexpr size_t kMaxRecordsPerPiece = 8192;

    // `piece` failed its check; `blocks` says what each block held and who sent it.
    void Failed(uint32_t piece, const std::vector<Sent>& blocks);
    bool Suspect(uint32_t piece) const { return failed_.count(piece) != 0; }
    // `piece` verified; `good[b]` is the digest of its block b. Returns the
    // senders of kept blocks that differ, each once, and forgets the piece.
    std::vector<PeerKey> Verified(uint32_t piece, const std::vector<Digest>& good);
    void Forget(uint32_t piece);

private:
    std::map<uint32_t, std::vector<Sent>> failed_;
    std::vector<uint32_t> order_;  // pieces in the order they failed, for eviction
};
