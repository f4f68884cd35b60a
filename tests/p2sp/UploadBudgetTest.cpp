// One upload cap for the whole engine: swarms side by side share it.
#include "p2sp/swarm/UploadBudget.h"

#include "p2sp/swarm/PeerWire.h"

#include <gtest/gtest.h>

namespace {

TEST(UploadBudget, SwarmsSideBySideShareOneCap) {
    UploadBudget budget(64 * 1024);
    uint64_t sent = 0;
    // Three swarms take blocks in turn for ten seconds, every 10 ms.
    for (uint64_t now = 0; now <= 10000; now += 10)
        for (int swarm = 0; swarm < 3; ++swarm)
            if (budget.Take(kBlockBytes, now)) sent += kBlockBytes;
    // Ten seconds at the cap, plus the second banked at the start.
    EXPECT_LE(sent, 11u * 64 * 1024 + kBlockBytes);
    EXPECT_GE(sent, 10u * 64 * 1024 - kBlockBytes);
}

TEST(UploadBudget, ACapOfZeroGivesNothingAndAChangeTakesEffectAtOnce) {
    UploadBudget budget(0);
    EXPECT_FALSE(budget.Take(1, 0));
    budget.SetCap(1000);
    uint64_t sent = 0;
    for (uint64_t now = 0; now <= 10000; now += 1)
        if (budget.Take(100, now)) sent += 100;
    EXPECT_GE(sent, 10000u) << "a small cap is not rounded away";
    EXPECT_LE(sent, 11000u + kBlockBytes);
}

}  // namespace
