// Chooses which 16 KiB blocks to ask each peer for: blocks of pieces already
// started first (so pieces finish and can be checked and shared), then the
// rarest piece the peer has, ties broken at random. When every missing block
// is asked for somewhere, endgame: a block may be asked of a second peer,
// and whoever delivers first wins (the others are told to cancel).
//
// A piece that failed its check is fetched again from one peer alone, so a
// second failure names the peer that sent it. Pieces reserved for other
// sources (HTTP) are not handed out. No platform code; not thread-safe.
#pragma once

#include "p2sp/swarm/Bitfield.h"

#include <cstdint>
#include <map>
#include <set>
#include <vector>

class PiecePicker {
public:
    struct Block {
        uint32_t piece = 0;
        uint32_t begin = 0;
        uint32_t length = 0;
        bool operator==(const Block& o) const { return piece == o.piece && begin == o.begin && length == o.length; }
    };

    PiecePicker(uint64_t totalSize, uint64_t pieceLength, uint32_t randomSeed = 1);

    size_t PieceCount() const { return have_.Size(); }
    uint32_t PieceSize(uint32_t piece) const;

    // What peers have: counted per piece for rarest-first.
    void PeerHasAll(const Bitfield& has, int sign = +1);  // +1 when a peer joins, -1 when it leaves
    void PeerHas(uint32_t piece);

    // Ours: verified pieces.
    void MarkHave(uint32_t piece);
    const Bitfield& Have() const { return have_; }
    bool Complete() const { return have_.All(); }

    // Pieces another source is fetching: not handed to peers while reserved.
    void SetReserved(uint32_t piece, bool reserved);
    bool Reserved(uint32_t piece) const { return reserved_.count(piece) != 0; }
    bool Started(uint32_t piece) const { return pieces_.count(piece) != 0; }

    // Appends up to `max` blocks for `peer`, who has `has`. Returns how many.
    size_t Pick(int peer, const Bitfield& has, size_t max, std::vector<Block>* out);
    // A block from `peer`: true when it was asked of that peer and is the
    // first copy (store it). `others` gets the peers also asked for it.
    bool Received(int peer, const Block& block, std::vector<int>* others);
    // The request is off (choked, rejected, cancelled): the block is free again.
    void Released(int peer, const Block& block);
    // Every request of `peer` is off.
    void PeerGone(int peer);

    // All blocks of `piece` are stored: it awaits its check.
    bool PieceReceived(uint32_t piece) const;
    void Verified(uint32_t piece);
    // Its check failed: returns the peers that sent its blocks; it starts over.
    std::set<int> Failed(uint32_t piece);

    bool Endgame() const;
    // Whether any block of `piece` is asked of a peer now.
    bool Asked(uint32_t piece) const;
    // Forgets a started piece without blame (another source takes it).
    void Abandon(uint32_t piece) { pieces_.erase(piece); }

private:
    struct PieceState {
        std::vector<uint8_t> received;
        std::vector<std::vector<int>> askedOf;  // per block
        size_t receivedCount = 0;
        std::set<int> senders;
        int solo = -1;  // the one peer allowed to send it, after a failure
    };
    uint32_t BlockCount(uint32_t piece) const;
    bool Wanted(uint32_t piece) const { return !have_.Get(piece) && !Reserved(piece); }
    size_t TakeFrom(uint32_t piece, PieceState& state, int peer, size_t max, bool duplicates,
                    std::vector<Block>* out);
    bool StartRarest(int peer, const Bitfield& has, uint32_t* piece);
    uint32_t NextRandom();

    uint64_t totalSize_;
    uint64_t pieceLength_;
    uint32_t random_;
    Bitfield have_;
    std::vector<uint32_t> availability_;
    std::set<uint32_t> reserved_;
    std::set<uint32_t> failedOnce_;
    std::map<uint32_t, PieceState> pieces_;  // started, not yet verified
};
