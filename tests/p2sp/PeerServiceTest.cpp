// How the swarm treats a peer by how it serves us, and when a held piece
// goes back to HTTP: a peer that unchokes and then sends nothing is snubbed
// (its requests cancelled and given to others, then one probe at a time),
// dropped when neither side wants anything, and never holds a piece for
// long. Plain arithmetic on a fake clock.
#include "p2sp/swarm/HeldPieces.h"
#include "p2sp/swarm/PeerService.h"
#include "p2sp/swarm/PeerWire.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(PeerService, ASilentPeerIsSnubbedThenProbedOneRequestAtATime) {
    PeerService s;
    s.connectedMs = 1000;
    EXPECT_EQ(s.RequestBudget(1000), PeerService::kFirstQueue);
    s.Asked(1000);
    EXPECT_FALSE(s.SnubDue(1000 + PeerService::kSnubMs - 1));
    ASSERT_TRUE(s.SnubDue(1000 + PeerService::kSnubMs));
    const uint64_t snubbed = 1000 + PeerService::kSnubMs;
    s.Snub(snubbed);
    EXPECT_EQ(s.RequestBudget(snubbed), 0u) << "its blocks go to others";
    EXPECT_EQ(s.RequestBudget(snubbed, false), 1u) << "with no other peer sending, a probe at once";
    PeerService sole = s;
    sole.Asked(snubbed);
    sole.Delivered(snubbed + 100, false);
    EXPECT_GE(sole.RequestBudget(snubbed + 100, false), PeerService::kMinQueue) << "it sends again";
    EXPECT_EQ(s.RequestBudget(snubbed + PeerService::kSnubPauseMs), 1u) << "a probe";
    s.Asked(snubbed + PeerService::kSnubPauseMs);
    s.Delivered(snubbed + PeerService::kSnubPauseMs + 100, false);
    EXPECT_GE(s.RequestBudget(snubbed + PeerService::kSnubPauseMs + 100), PeerService::kMinQueue);
    EXPECT_FALSE(s.SnubDue(snubbed + 10 * PeerService::kSnubMs)) << "nothing out";
}

TEST(PeerService, RequestsInFlightFollowThePeersRate) {
    PeerService s;
    s.Delivered(5000, true);
    struct Case {
        uint32_t rate;
        size_t budget;
    } cases[] = {
        {0, PeerService::kMinQueue},
        {16384, PeerService::kMinQueue},
        {1 << 20, 128},  // two seconds at 1 MiB/s, capped below
        {100 << 20, PeerService::kMaxQueue},
    };
    for (const Case& c : cases) {
        s.rate = c.rate;
        EXPECT_EQ(s.RequestBudget(5000), std::min(c.budget, PeerService::kMaxQueue)) << c.rate;
    }
    // A steady stream of blocks keeps the clock of the oldest request fresh.
    s.Asked(5000);
    for (uint64_t t = 6000; t < 60000; t += 5000) s.Delivered(t, true);
    EXPECT_FALSE(s.SnubDue(60000));
}

TEST(PeerService, ANeitherGivingNorWantingPeerIsDroppedKeepAlivesNotwithstanding) {
    PeerService s;
    s.connectedMs = 1000;
    EXPECT_FALSE(s.Useless(1000 + PeerService::kUselessMs - 1, false));
    EXPECT_TRUE(s.Useless(1000 + PeerService::kUselessMs, false));
    EXPECT_FALSE(s.Useless(1000 + PeerService::kUselessMs, true)) << "it wants what we have";
    s.Delivered(50000, false);
    EXPECT_FALSE(s.Useless(50000 + PeerService::kUselessMs - 1, false));
}

TEST(HeldPieces, PiecesNobodyDeliversGoBackToHttp) {
    HeldPieces held;
    held.Hold(1, 1000);
    held.Hold(2, 1000);
    held.Hold(3, 1000);
    std::set<uint32_t> asked = {1, 2};  // piece 3 is asked of nobody who serves us
    const auto due = [&](uint64_t now) {
        const std::vector<uint32_t> v = held.Due(now, [&](uint32_t p) { return asked.count(p) != 0; });
        return std::set<uint32_t>(v.begin(), v.end());
    };
    EXPECT_TRUE(due(1000 + HeldPieces::kOrphanMs - 1).empty());
    EXPECT_EQ(due(1000 + HeldPieces::kOrphanMs), std::set<uint32_t>({3}));
    held.Delivered(1, 5000);  // piece 1 is flowing; piece 2 is asked but nothing comes
    EXPECT_EQ(due(1000 + HeldPieces::kStalledMs), std::set<uint32_t>({2, 3}));
    EXPECT_EQ(due(5000 + HeldPieces::kStalledMs), std::set<uint32_t>({1, 2, 3}));
    held.Release(2);
    EXPECT_FALSE(held.Holds(2));
}

}  // namespace
