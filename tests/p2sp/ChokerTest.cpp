// Upload slots: the best givers keep regular slots, one optimistic slot goes
// to another interested peer and moves every third round, uninterested
// peers get none.
#include "p2sp/swarm/Choker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

ChokerPeer P(int id, bool interested, uint64_t rate) {
    ChokerPeer p;
    p.id = id;
    p.interested = interested;
    p.rate = rate;
    return p;
}

bool Has(const std::vector<int>& v, int id) { return std::find(v.begin(), v.end(), id) != v.end(); }

TEST(Choker, TheBestGiversKeepRegularSlotsPlusOneOptimistic) {
    Choker choker(4);
    std::vector<ChokerPeer> peers = {P(1, true, 10), P(2, true, 500), P(3, true, 300), P(4, true, 400),
                                     P(5, true, 1), P(6, false, 9999)};
    std::vector<int> up = choker.Round(peers);
    ASSERT_EQ(up.size(), 4u);
    EXPECT_TRUE(Has(up, 2) && Has(up, 3) && Has(up, 4));
    EXPECT_FALSE(Has(up, 6));
    EXPECT_TRUE(choker.Optimistic() == 1 || choker.Optimistic() == 5);
}

TEST(Choker, TheOptimisticSlotMovesEveryThirdRound) {
    Choker choker(2, 7);
    std::vector<ChokerPeer> peers;
    for (int i = 0; i < 10; ++i) peers.push_back(P(i, true, i == 0 ? 1000 : 0));
    std::set<int> optimists;
    int previous = -1;
    for (int round = 0; round < 30; ++round) {
        choker.Round(peers);
        if (round % 3 != 0) {
            EXPECT_EQ(choker.Optimistic(), previous) << "round " << round;
        }
        previous = choker.Optimistic();
        optimists.insert(previous);
    }
    EXPECT_GT(optimists.size(), 3u);
    EXPECT_EQ(optimists.count(0), 0u);  // the regular slot's peer is never the optimist
}

TEST(Choker, FewPeersAllGetSlotsAndNobodyWantsNothingGetsOne) {
    Choker choker(4);
    EXPECT_TRUE(choker.Round({}).empty());
    EXPECT_TRUE(choker.Round({P(1, false, 5)}).empty());
    std::vector<int> up = choker.Round({P(1, true, 0), P(2, true, 0)});
    EXPECT_EQ(std::set<int>(up.begin(), up.end()), (std::set<int>{1, 2}));
}

TEST(Choker, APeerThatLosesInterestLosesItsOptimisticSlot) {
    Choker choker(1);
    choker.Round({P(1, true, 0)});
    EXPECT_EQ(choker.Optimistic(), 1);
    std::vector<int> up = choker.Round({P(1, false, 0), P(2, true, 0)});
    EXPECT_EQ(up, std::vector<int>{2});
}

}  // namespace
