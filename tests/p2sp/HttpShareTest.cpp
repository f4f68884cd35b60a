// How much HTTP does beside a swarm: it is measured at its full count first,
// steps back only as far as the peers make up for it, takes everything back
// when the two together fall behind, and never lets a peer that sends
// nothing slow the download.
#include "p2sp/http/HttpShare.h"

#include <gtest/gtest.h>

namespace {

constexpr int kFull = 16;
constexpr int kLeast = 2;
constexpr uint32_t kPerConnection = 256000;  // what each HTTP connection brings
constexpr uint32_t kAlone = kFull * kPerConnection;

struct Clock {
    HttpShare share{kFull, kLeast};
    uint64_t now = 1000;
    // One sample `ms` later; HTTP brings what its connections do now.
    void Step(uint64_t ms, uint32_t peers, bool connected = true, bool waited = false) {
        now += ms;
        HttpShare::Sample s;
        s.nowMs = now;
        s.peersConnected = connected;
        s.httpRate = uint32_t(share.PerSource()) * kPerConnection;
        s.peerRate = peers;
        s.httpWaited = waited;
        share.Update(s);
    }
    void Run(uint64_t ms, uint32_t peers) {
        for (uint64_t t = 0; t < ms; t += 100) Step(100, peers);
    }
};

TEST(HttpShare, TheYardstickIsHttpAtItsFullCountBusyForAWholeWindow) {
    Clock c;
    c.Run(1900, 50000000);
    EXPECT_EQ(c.share.AloneRate(), 0u) << "not a whole window yet";
    EXPECT_EQ(c.share.PerSource(), kFull);
    c.Step(100, 50000000, true, true);  // a connection found nothing to do
    c.Run(1900, 50000000);
    EXPECT_EQ(c.share.AloneRate(), 0u) << "an idle connection makes HTTP look slow";
    c.Run(200, 50000000);
    EXPECT_EQ(c.share.AloneRate(), kAlone);
}

// The fault this guards: a peer that unchokes and never sends kept HTTP at
// two connections for the whole download.
TEST(HttpShare, APeerThatSendsNothingNeverHoldsHttpBack) {
    Clock c;
    c.Run(60000, 0);
    EXPECT_EQ(c.share.PerSource(), kFull);
    EXPECT_FALSE(c.share.Deferring());
}

TEST(HttpShare, HttpStepsBackOnlyAsFarAsThePeersMakeUpForIt) {
    Clock c;
    c.Run(3000, 0);
    ASSERT_EQ(c.share.AloneRate(), kAlone);
    // The peers bring half of what HTTP alone did: HTTP keeps the
    // connections for the rest.
    c.Run(10000, kAlone / 2);
    EXPECT_EQ(c.share.PerSource(), 9) << "105 % of HTTP alone, less what the peers bring";
    // Peers faster than HTTP alone: at most half of the connections go at a
    // time, down to the floor and never below.
    c.Step(100, 2 * kAlone);
    EXPECT_EQ(c.share.PerSource(), 5);
    c.Run(10000, 2 * kAlone);
    EXPECT_EQ(c.share.PerSource(), kLeast);
}

TEST(HttpShare, FallingBehindTakesEveryConnectionBackAtOnce) {
    Clock c;
    c.Run(3000, 0);
    c.Run(10000, 2 * kAlone);
    ASSERT_EQ(c.share.PerSource(), kLeast);
    ASSERT_TRUE(c.share.Deferring());
    // The peers stop: within half a second HTTP runs everything again and
    // leaves nothing to them.
    c.Step(100, 0);
    c.Step(400, 0);
    EXPECT_EQ(c.share.PerSource(), kLeast) << "not for a moment's dip";
    c.Step(100, 0);
    EXPECT_EQ(c.share.PerSource(), kFull);
    EXPECT_FALSE(c.share.Deferring());
}

TEST(HttpShare, PeersAsFastAsHttpAloneGetTheirPiecesUntilTheyFallBehind) {
    Clock c;
    c.Run(3000, 0);
    c.Step(100, kAlone - 1);
    EXPECT_FALSE(c.share.Deferring());
    c.Step(100, kAlone);
    EXPECT_TRUE(c.share.Deferring());
    c.Run(10000, 2 * kAlone);
    ASSERT_EQ(c.share.PerSource(), kLeast);
    // Slower, but HTTP at its floor and the peers together keep up.
    c.Run(10000, kAlone * 85 / 100);
    EXPECT_TRUE(c.share.Deferring());
    EXPECT_EQ(c.share.PerSource(), kLeast);
    c.Run(1000, kAlone * 80 / 100);
    EXPECT_FALSE(c.share.Deferring());
    EXPECT_EQ(c.share.PerSource(), kFull);
}

TEST(HttpShare, WithoutPeersHttpRunsAlone) {
    Clock c;
    c.Run(3000, 0);
    c.Run(10000, 2 * kAlone);
    ASSERT_EQ(c.share.PerSource(), kLeast);
    c.Step(100, 2 * kAlone, false);
    EXPECT_EQ(c.share.PerSource(), kFull);
    EXPECT_FALSE(c.share.Deferring());
}

}  // namespace
