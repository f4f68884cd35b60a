// When HTTP leaves the peers' pieces to them: only once HTTP has been
// measured busy, while the peers are at least as fast, and back to HTTP when
// the peers stay well below it for a whole window.
#include "p2sp/http/HttpShare.h"

#include <gtest/gtest.h>

namespace {

struct Clock {
    HttpShare share;
    uint64_t now = 1000;
    bool Step(uint64_t ms, uint32_t http, uint32_t peers, bool waited = false, bool connected = true) {
        now += ms;
        HttpShare::Sample s;
        s.nowMs = now;
        s.peersConnected = connected;
        s.httpRate = http;
        s.peerRate = peers;
        s.httpWaited = waited;
        return share.Update(s);
    }
};

TEST(HttpShare, NothingIsLeftToPeersBeforeHttpWasMeasuredBusy) {
    Clock c;
    EXPECT_FALSE(c.Step(0, 0, 5000000));  // fast peers, HTTP not measured
    EXPECT_FALSE(c.Step(1000, 100000, 5000000));
    // Connections waited: the figure of an idle HTTP does not count.
    EXPECT_FALSE(c.Step(1500, 100000, 5000000, true));
    EXPECT_FALSE(c.Step(1000, 100000, 5000000));
    EXPECT_EQ(c.share.HttpEstimate(), 0u);
    EXPECT_TRUE(c.Step(1000, 2000000, 5000000));
    EXPECT_EQ(c.share.HttpEstimate(), 2000000u);
}

TEST(HttpShare, SlowPeersKeepHttpOnEverything) {
    Clock c;
    c.Step(0, 4000000, 0);
    for (int i = 0; i < 10; ++i) EXPECT_FALSE(c.Step(500, 4000000, 3900000));
    EXPECT_TRUE(c.Step(500, 4000000, 4000000));
}

TEST(HttpShare, PeersGiveThePiecesBackOnlyAfterAWholeSlowWindow) {
    Clock c;
    c.Step(0, 2000000, 0);
    ASSERT_TRUE(c.Step(2500, 2000000, 8000000));
    // HTTP idles while deferring: its estimate stays what it was when busy.
    EXPECT_TRUE(c.Step(500, 0, 8000000, true));
    EXPECT_EQ(c.share.HttpEstimate(), 2000000u);
    // A moment of choking is not enough.
    EXPECT_TRUE(c.Step(500, 0, 100000, true));
    EXPECT_TRUE(c.Step(1000, 0, 1600000, true));  // above three quarters: not slow
    EXPECT_TRUE(c.Step(500, 0, 100000, true));
    EXPECT_TRUE(c.Step(1500, 0, 100000, true));
    EXPECT_FALSE(c.Step(500, 0, 100000, true));
}

TEST(HttpShare, NoPeersNoDeferring) {
    Clock c;
    c.Step(0, 2000000, 0);
    ASSERT_TRUE(c.Step(2500, 2000000, 8000000));
    EXPECT_FALSE(c.Step(100, 2000000, 8000000, false, false));
}

}  // namespace
