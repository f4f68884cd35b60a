// Piece choice: rarest first, started pieces finished first, no block asked
// twice before endgame, endgame duplicates with cancels, a failed piece
// retried from one peer, reserved pieces left to the other sources.
#include "p2sp/swarm/PiecePicker.h"
#include "p2sp/swarm/PeerWire.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

constexpr uint64_t kPiece = 4 * kBlockBytes;

Bitfield All(size_t n) {
    Bitfield b(n);
    b.SetAll();
    return b;
}

Bitfield Only(size_t n, std::initializer_list<size_t> pieces) {
    Bitfield b(n);
    for (size_t p : pieces) b.Set(p);
    return b;
}

TEST(PiecePicker, TheRarestPieceIsStartedFirst) {
    PiecePicker picker(8 * kPiece, kPiece);
    picker.PeerHasAll(All(8));
    picker.PeerHasAll(Only(8, {0, 1, 2, 3, 4, 6, 7}));  // piece 5 is the rarest
    std::vector<PiecePicker::Block> blocks;
    ASSERT_EQ(picker.Pick(1, All(8), 1, &blocks), 1u);
    EXPECT_EQ(blocks[0].piece, 5u);
}

TEST(PiecePicker, EqualRarityIsBrokenAtRandomNotByIndex) {
    std::set<uint32_t> firsts;
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        PiecePicker picker(16 * kPiece, kPiece, seed);
        picker.PeerHasAll(All(16));
        std::vector<PiecePicker::Block> blocks;
        picker.Pick(1, All(16), 1, &blocks);
        firsts.insert(blocks[0].piece);
    }
    EXPECT_GT(firsts.size(), 4u);
}

TEST(PiecePicker, AStartedPieceIsFinishedBeforeANewOneStarts) {
    PiecePicker picker(4 * kPiece, kPiece);
    picker.PeerHasAll(All(4));
    std::vector<PiecePicker::Block> a, b;
    picker.Pick(1, All(4), 2, &a);
    picker.Pick(2, All(4), 2, &b);
    EXPECT_EQ(a[0].piece, b[0].piece);
    EXPECT_EQ(std::set<uint32_t>({a[0].begin, a[1].begin, b[0].begin, b[1].begin}).size(), 4u);
}

TEST(PiecePicker, EveryBlockIsAskedOnceUntilEndgameAndTheLastBlockIsShort) {
    const uint64_t total = 3 * kPiece + 5000;
    PiecePicker picker(total, kPiece);
    picker.PeerHasAll(All(4));
    std::vector<PiecePicker::Block> blocks;
    while (picker.Pick(1, All(4), 7, &blocks) > 0 && !picker.Endgame()) {
    }
    uint64_t bytes = 0;
    std::set<std::pair<uint32_t, uint32_t>> seen;
    for (const auto& b : blocks) {
        EXPECT_TRUE(seen.insert({b.piece, b.begin}).second);
        bytes += b.length;
    }
    EXPECT_EQ(bytes, total);
    for (const auto& b : blocks) {
        if (b.piece == 3) {
            EXPECT_EQ(b.length, 5000u);
        }
    }
    EXPECT_TRUE(picker.Endgame());
}

TEST(PiecePicker, EndgameAsksASecondPeerAndTheFirstCopyWins) {
    PiecePicker picker(kPiece, kPiece);
    picker.PeerHasAll(All(1));
    picker.PeerHasAll(All(1));
    std::vector<PiecePicker::Block> one, two;
    ASSERT_EQ(picker.Pick(1, All(1), 10, &one), 4u);
    EXPECT_TRUE(picker.Endgame());
    ASSERT_EQ(picker.Pick(2, All(1), 10, &two), 4u);
    EXPECT_EQ(one, two);
    std::vector<int> others;
    EXPECT_TRUE(picker.Received(2, two[0], &others));
    EXPECT_EQ(others, std::vector<int>{1});  // peer 1 is told to cancel
    EXPECT_FALSE(picker.Received(1, one[0], &others));  // a late copy is not stored again
}

TEST(PiecePicker, ABlockNeverAskedOfThatPeerIsNotStored) {
    PiecePicker picker(2 * kPiece, kPiece);
    picker.PeerHasAll(All(2));
    std::vector<PiecePicker::Block> blocks;
    picker.Pick(1, All(2), 1, &blocks);
    std::vector<int> others;
    EXPECT_FALSE(picker.Received(2, blocks[0], &others));
    PiecePicker::Block shifted = blocks[0];
    shifted.begin += 1;
    EXPECT_FALSE(picker.Received(1, shifted, &others));
    PiecePicker::Block shorter = blocks[0];
    shorter.length -= 1;
    EXPECT_FALSE(picker.Received(1, shorter, &others));
    EXPECT_TRUE(picker.Received(1, blocks[0], &others));
}

TEST(PiecePicker, AReleasedBlockIsGivenToTheNextPeer) {
    PiecePicker picker(kPiece, kPiece);
    picker.PeerHasAll(All(1));
    std::vector<PiecePicker::Block> a, b;
    picker.Pick(1, All(1), 4, &a);
    picker.Released(1, a[2]);
    ASSERT_EQ(picker.Pick(2, All(1), 4, &b), 1u);
    EXPECT_EQ(b[0], a[2]);
}

TEST(PiecePicker, APeerLeavingFreesItsBlocks) {
    PiecePicker picker(kPiece, kPiece);
    picker.PeerHasAll(All(1));
    std::vector<PiecePicker::Block> a, b;
    picker.Pick(1, All(1), 4, &a);
    picker.PeerGone(1);
    EXPECT_EQ(picker.Pick(2, All(1), 4, &b), 4u);
}

TEST(PiecePicker, AFailedPieceNamesItsSendersAndIsRetriedFromOnePeerAlone) {
    PiecePicker picker(kPiece, kPiece);
    picker.PeerHasAll(All(1));
    std::vector<PiecePicker::Block> a, b;
    picker.Pick(1, All(1), 2, &a);
    picker.Pick(2, All(1), 2, &b);
    std::vector<int> others;
    for (auto& x : a) picker.Received(1, x, &others);
    for (auto& x : b) picker.Received(2, x, &others);
    ASSERT_TRUE(picker.PieceReceived(0));
    EXPECT_EQ(picker.Failed(0), (std::set<int>{1, 2}));
    std::vector<PiecePicker::Block> retry, none;
    EXPECT_EQ(picker.Pick(3, All(1), 10, &retry), 4u);  // all of it to one peer
    EXPECT_EQ(picker.Pick(4, All(1), 10, &none), 0u);   // even in endgame
    for (auto& x : retry) picker.Received(3, x, &others);
    EXPECT_EQ(picker.Failed(0), (std::set<int>{3}));
}

TEST(PiecePicker, VerifiedAndReservedPiecesAreNotHandedOut) {
    PiecePicker picker(3 * kPiece, kPiece);
    picker.PeerHasAll(All(3));
    picker.MarkHave(0);
    picker.SetReserved(1, true);
    std::vector<PiecePicker::Block> blocks;
    picker.Pick(1, All(3), 100, &blocks);
    for (const auto& b : blocks) EXPECT_EQ(b.piece, 2u);
    for (auto& b : blocks) picker.Received(1, b, nullptr);
    ASSERT_TRUE(picker.PieceReceived(2));
    picker.Verified(2);
    EXPECT_FALSE(picker.Complete());
    picker.SetReserved(1, false);
    blocks.clear();
    EXPECT_EQ(picker.Pick(1, All(3), 100, &blocks), 4u);
    EXPECT_EQ(blocks[0].piece, 1u);
}

TEST(PiecePicker, APeerIsOnlyAskedForWhatItHas) {
    PiecePicker picker(4 * kPiece, kPiece);
    Bitfield has = Only(4, {2});
    picker.PeerHasAll(has);
    std::vector<PiecePicker::Block> blocks;
    picker.Pick(1, has, 100, &blocks);
    ASSERT_EQ(blocks.size(), 4u);
    for (const auto& b : blocks) EXPECT_EQ(b.piece, 2u);
    EXPECT_FALSE(picker.Endgame());  // pieces 0, 1, 3 are not started
}

}  // namespace
