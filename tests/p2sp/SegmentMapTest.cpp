// Segment arithmetic: every byte of the file is handed out exactly once
// across claims and re-splits, the last byte included, and segment edges
// keep to the unit (the piece length when pieces are checked).
#include "p2sp/SegmentMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

namespace {

SegmentMap::Plan MakePlan(uint64_t total, int connections, uint64_t unit = 1, uint64_t minSplit = 1000) {
    SegmentMap::Plan plan;
    plan.totalSize = total;
    plan.connections = connections;
    plan.unit = unit;
    plan.minSplit = minSplit;
    return plan;
}

// Runs `connections` fake connections to the end, each fetching `step`
// bytes per turn (connection i at i+1 times that pace), and counts how often
// each byte was delivered. Returns the bytes delivered in all.
uint64_t RunToEnd(SegmentMap& map, int connections, uint64_t step, std::vector<uint8_t>* seen,
                  std::vector<ByteRange>* segments = nullptr) {
    struct Conn {
        bool active = false;
        uint64_t pos = 0;
    };
    std::vector<Conn> conns(connections);
    uint64_t delivered = 0;
    for (int round = 0; round < 1000000; ++round) {
        bool any = false;
        for (int i = 0; i < connections; ++i) {
            Conn& c = conns[i];
            if (!c.active) {
                ByteRange s;
                if (!map.Claim(i, 0, &s)) continue;
                if (segments) segments->push_back(s);
                c.active = true;
                c.pos = s.begin;
            }
            any = true;
            uint64_t end = map.EndOf(i);
            uint64_t got = std::min<uint64_t>(step * (i + 1), end > c.pos ? end - c.pos : 0);
            end = map.Advance(i, c.pos + got);
            uint64_t use = c.pos < end ? std::min(got, end - c.pos) : 0;
            for (uint64_t b = c.pos; b < c.pos + use; ++b) ++(*seen)[size_t(b)];
            map.MarkDone(c.pos, c.pos + use);
            delivered += use;
            c.pos += use;
            if (c.pos >= end) {
                map.Release(i);
                c.active = false;
            }
        }
        if (!any) break;
    }
    return delivered;
}

TEST(SegmentMap, EveryByteOnceAcrossClaimsAndSplits) {
    for (uint64_t total : {1ull, 999ull, 4096ull, 100003ull}) {
        for (int connections : {1, 3, 16}) {
            SegmentMap map;
            map.Reset(MakePlan(total, connections, 1, 64), RangeSet());
            std::vector<uint8_t> seen(size_t(total), 0);
            uint64_t delivered = RunToEnd(map, connections, 37, &seen);
            EXPECT_EQ(delivered, total) << total << " bytes, " << connections << " connections";
            EXPECT_TRUE(map.Complete());
            EXPECT_FALSE(map.Fetching()) << "every connection let go";
            for (size_t b = 0; b < seen.size(); ++b) ASSERT_EQ(seen[b], 1) << "byte " << b << " of " << total;
        }
    }
}

TEST(SegmentMap, ResumeFetchesOnlyTheGaps) {
    const uint64_t total = 50000;
    RangeSet done;
    done.Add(0, 1000);
    done.Add(20000, 30000);
    done.Add(49000, 49999);  // the last byte is missing
    SegmentMap map;
    map.Reset(MakePlan(total, 4, 1, 100), done);
    std::vector<uint8_t> seen(total, 0);
    EXPECT_EQ(RunToEnd(map, 4, 53, &seen), total - done.CoveredBytes());
    for (size_t b = 0; b < total; ++b) ASSERT_EQ(seen[b], done.Covers(b, b + 1) ? 0 : 1) << b;
    EXPECT_TRUE(map.Complete());
}

TEST(SegmentMap, IdleConnectionTakesTheBackHalfOfTheLargestSegment) {
    SegmentMap map;
    map.Reset(MakePlan(10000, 2, 1, 1000), RangeSet());
    ByteRange a, b, c;
    EXPECT_FALSE(map.Fetching());
    ASSERT_TRUE(map.Claim(0, 0, &a));
    EXPECT_TRUE(map.Fetching());
    ASSERT_TRUE(map.Claim(1, 0, &b));
    EXPECT_EQ(a.begin, 0u);
    EXPECT_EQ(b.end, 10000u);
    map.Advance(0, a.begin + 1000);
    map.MarkDone(a.begin, a.begin + 1000);
    map.Advance(1, b.begin + 3000);
    // Connection 2 finds nothing free: it splits connection 0's segment,
    // which has the most left (4000 against 2000).
    ASSERT_TRUE(map.Claim(2, 0, &c));
    EXPECT_EQ(c.begin, 3000u);
    EXPECT_EQ(c.end, a.end);
    EXPECT_EQ(map.Advance(0, 1500), 3000u);  // the owner now stops at the split
    // Too little left anywhere to split again.
    map.Advance(0, 2900);
    map.Advance(2, 4500);
    map.Advance(1, 9000);
    ByteRange d;
    EXPECT_FALSE(map.Claim(3, 0, &d));
}

TEST(SegmentMap, EdgesKeepToTheUnit) {
    const uint64_t unit = 4096, total = 40 * unit + 123;
    SegmentMap map;
    map.Reset(MakePlan(total, 5, unit, 1), RangeSet());
    std::vector<uint8_t> seen(total, 0);
    std::vector<ByteRange> segments;
    EXPECT_EQ(RunToEnd(map, 5, 1000, &seen, &segments), total);
    for (const ByteRange& s : segments) {
        EXPECT_EQ(s.begin % unit, 0u) << s.begin;
        EXPECT_TRUE(s.end % unit == 0 || s.end == total) << s.end;
    }
}

TEST(SegmentMap, ExcludedRangeGoesToAnotherSource) {
    SegmentMap map;
    map.Reset(MakePlan(3000, 1, 1000, 1000), RangeSet());
    map.MarkDone(0, 1000);
    map.MarkDone(2000, 3000);
    map.Exclude(1000, 2000, 1);  // source 1 served a bad piece here
    ByteRange s;
    EXPECT_FALSE(map.Claim(0, 1, &s));
    ASSERT_TRUE(map.Claim(1, 0, &s));
    EXPECT_EQ(s.begin, 1000u);
    EXPECT_EQ(s.end, 2000u);
}

}  // namespace

namespace {

TEST(SegmentMap, SplitNeverCutsACommittedRequest) {
    SegmentMap map;
    map.Reset(MakePlan(10000, 1, 1, 1000), RangeSet());
    ByteRange a, b;
    ASSERT_TRUE(map.Claim(0, 0, &a));
    EXPECT_EQ(map.Commit(0, 0, 6000), 6000u);  // asked the server for [0, 6000)
    map.Advance(0, 100);
    ASSERT_TRUE(map.Claim(1, 0, &b));
    EXPECT_EQ(b.begin, 8000u);  // the back half of what was not yet requested
    EXPECT_EQ(map.Commit(0, 6000, 6000), 8000u);  // the next request stops at the split
}

}  // namespace

namespace {

// Pieces asked of peers are held outside the connections: no connection is
// given or splits them, a reset keeps them, and connections prefer bytes no
// peer can give.
TEST(SegmentMapHold, HeldPiecesAreNeverHandedToConnectionsAndOutliveReset) {
    SegmentMap map;
    map.Reset(MakePlan(4000, 1, 1000, 1000), RangeSet());
    ASSERT_TRUE(map.Hold(7, ByteRange{1000, 2000}));
    EXPECT_FALSE(map.Hold(8, ByteRange{1500, 2500}));  // overlaps the hold
    map.Reset(MakePlan(4000, 1, 1000, 1000), RangeSet());
    std::vector<ByteRange> claimed;
    ByteRange s;
    for (int id = 0; id < 10 && map.Claim(id, 0, &s); ++id) claimed.push_back(s);
    for (const ByteRange& r : claimed) EXPECT_TRUE(r.end <= 1000 || r.begin >= 2000);
    RangeSet free = map.Free();
    EXPECT_TRUE(free.Empty());
    map.Unhold(7);
    EXPECT_EQ(map.Free().CoveredBytes(), 1000u);
}

TEST(SegmentMapHold, DoneOrOwnedBytesCannotBeHeld) {
    SegmentMap map;
    RangeSet done;
    done.Add(0, 1000);
    map.Reset(MakePlan(4000, 1, 1000, 1000), done);
    EXPECT_FALSE(map.Hold(1, ByteRange{0, 1000}));
    ByteRange s;
    ASSERT_TRUE(map.Claim(0, 0, &s));
    EXPECT_FALSE(map.Hold(1, s));
    EXPECT_FALSE(map.Hold(1, ByteRange{3000, 5000}));  // past the end
}

TEST(SegmentMapHold, ConnectionsTakeWhatPeersCannotGiveFirst) {
    SegmentMap map;
    map.Reset(MakePlan(4000, 4, 1000, 1000), RangeSet());
    RangeSet peersHave;
    peersHave.Add(0, 3000);
    map.SetAvoid(peersHave);
    ByteRange s;
    ASSERT_TRUE(map.Claim(0, 0, &s));
    EXPECT_EQ(s.begin, 3000u);
    // Nothing else free outside: the avoided bytes are taken after all.
    ASSERT_TRUE(map.Claim(1, 0, &s));
    EXPECT_LT(s.begin, 3000u);
}

TEST(SegmentMapHold, BoundedClaimsLeaveTheRestFreeForPeers) {
    SegmentMap map;
    SegmentMap::Plan plan = MakePlan(10000, 1, 1000, 1000);
    plan.maxSegment = 1500;  // rounded up to two units
    map.Reset(plan, RangeSet());
    ByteRange s;
    ASSERT_TRUE(map.Claim(0, 0, &s));
    EXPECT_EQ(s.end - s.begin, 2000u);
    EXPECT_EQ(map.Free().CoveredBytes(), 8000u);
}

}  // namespace

namespace {

TEST(SegmentMapHold, ScatteredClaimsLandOnUnitEdgesAllOverAndMissNothing) {
    SegmentMap::Plan plan = MakePlan(100000, 1, 1000, 1000);
    plan.maxSegment = 1000;
    plan.scatterSeed = 7;
    SegmentMap map;
    map.Reset(plan, RangeSet());
    std::vector<uint64_t> begins;
    ByteRange s;
    for (int id = 0; map.Claim(id, 0, &s); ++id) {
        EXPECT_EQ(s.begin % 1000, 0u);
        EXPECT_EQ(s.end - s.begin, 1000u);
        begins.push_back(s.begin);
        map.MarkDone(s.begin, s.end);
        map.Release(id);
    }
    ASSERT_TRUE(map.Complete());
    ASSERT_EQ(begins.size(), 100u);
    // Not handed out in order: a second task sharing the file would
    // otherwise fetch the same pieces at the same time.
    EXPECT_FALSE(std::is_sorted(begins.begin(), begins.end()));
    // Another seed, another order.
    plan.scatterSeed = 8;
    map.Clear();
    map.Reset(plan, RangeSet());
    ASSERT_TRUE(map.Claim(0, 0, &s));
    ByteRange other;
    SegmentMap again;
    plan.scatterSeed = 7;
    again.Reset(plan, RangeSet());
    ASSERT_TRUE(again.Claim(0, 0, &other));
    EXPECT_EQ(other.begin, begins[0]);
    EXPECT_NE(s.begin, begins[0]);
}

TEST(SegmentMapHold, DeferredBytesWaitForThePeersUntilHttpMayTakeThemAgain) {
    SegmentMap map;
    map.Reset(MakePlan(4000, 4, 1000, 1000), RangeSet());
    RangeSet peersHave;
    peersHave.Add(0, 3000);
    map.SetAvoid(peersHave);
    map.DeferAvoided(true);
    ByteRange s;
    ASSERT_TRUE(map.Claim(0, 0, &s));
    EXPECT_EQ(s.begin, 3000u);
    EXPECT_EQ(map.Deferrals(), 0u);
    // Only the peers' bytes are free: the connection waits, it does not end.
    EXPECT_FALSE(map.Claim(1, 0, &s));
    EXPECT_TRUE(map.Deferring());
    EXPECT_EQ(map.Deferrals(), 1u);
    // A peer delivers what it had; the rest goes back to HTTP.
    ASSERT_TRUE(map.Hold(100, ByteRange{0, 1000}));
    map.MarkDone(0, 1000);
    map.Unhold(100);
    map.DeferAvoided(false);
    EXPECT_FALSE(map.Deferring());
    ASSERT_TRUE(map.Claim(1, 0, &s));
    EXPECT_EQ(s.begin, 1000u);
    // Nothing free at all: not deferring, the connection may end.
    map.DeferAvoided(true);
    map.SetAvoid(RangeSet());
    ASSERT_TRUE(map.Claim(2, 0, &s));
    EXPECT_FALSE(map.Claim(3, 0, &s));
    EXPECT_FALSE(map.Deferring());
}

}  // namespace

namespace {

// A range is taken over only when it is free: the first request of a round
// must not land on bytes a peer holds, a connection owns, or that are done.
TEST(SegmentMapCustody, TakingOverARangeNeedsAllOfItFree) {
    SegmentMap map;
    RangeSet done;
    done.Add(0, 1000);
    map.Reset(MakePlan(5000, 1, 1000, 1000), done);
    ASSERT_TRUE(map.Hold(7, ByteRange{2000, 3000}));
    ByteRange owned;
    ASSERT_TRUE(map.Claim(1, 0, &owned));
    EXPECT_FALSE(map.Adopt(0, ByteRange{0, 2000})) << "done";
    EXPECT_FALSE(map.Adopt(0, ByteRange{1000, 3000})) << "held";
    EXPECT_FALSE(map.Adopt(0, owned)) << "owned";
    EXPECT_FALSE(map.Adopt(0, ByteRange{4000, 6000})) << "past the end";
    map.Release(1);
    EXPECT_TRUE(map.Adopt(0, ByteRange{3000, 5000}));
}

// A peer's block lands only while the swarm still holds its piece, and a
// piece verified by the swarm counts only while it holds it.
TEST(SegmentMapCustody, PeerBlocksLandOnlyInPiecesStillHeld) {
    SegmentMap map;
    map.Reset(MakePlan(4000, 1, 1000, 1000), RangeSet());
    ASSERT_TRUE(map.Hold(1, ByteRange{1000, 2000}));
    int writes = 0;
    const auto write = [&] { return ++writes > 0; };
    EXPECT_TRUE(map.WriteHeld(1, 1000, 1500, write));
    EXPECT_FALSE(map.WriteHeld(1, 1500, 2500, write)) << "beyond the piece";
    EXPECT_FALSE(map.WriteHeld(2, 1000, 1500, write)) << "another holder";
    map.Unhold(1);
    EXPECT_FALSE(map.WriteHeld(1, 1000, 1500, write));
    EXPECT_FALSE(map.MarkHeldDone(1, 1000, 2000));
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(map.DoneBytes(), 0u);
    ASSERT_TRUE(map.Hold(1, ByteRange{1000, 2000}));
    EXPECT_TRUE(map.MarkHeldDone(1, 1000, 2000));
    EXPECT_TRUE(map.Done().Covers(1000, 2000));
    EXPECT_TRUE(map.Free().Covers(0, 1000));
}

// The endgame: HTTP may race the peers for a piece held a while. The first
// to verify wins; the winner takes the hold away, so the loser's blocks and
// its verification are refused.
TEST(SegmentMapCustody, AnEndgameRaceLocksTheLoserOut) {
    SegmentMap map;
    RangeSet done;
    done.Add(0, 3000);
    map.Reset(MakePlan(4000, 1, 1000, 1000), done);
    ASSERT_TRUE(map.Hold(3, ByteRange{3000, 4000}, 10000));
    ByteRange r;
    EXPECT_FALSE(map.HasWorkFor(0, 12000, 3000, 1000));
    EXPECT_FALSE(map.ClaimRace(0, 0, 12000, 3000, 1000, &r)) << "held too briefly";
    EXPECT_FALSE(map.ClaimRace(0, 0, 13000, 3000, 999, &r)) << "too long to hold in memory";
    EXPECT_TRUE(map.HasWorkFor(0, 13000, 3000, 1000));
    ASSERT_TRUE(map.ClaimRace(0, 0, 13000, 3000, 1000, &r));
    EXPECT_EQ(r.begin, 3000u);
    EXPECT_FALSE(map.ClaimRace(1, 0, 13000, 3000, 1000, &r)) << "one race a piece";
    int stored = 0;
    ASSERT_TRUE(map.FinishRace(0, ByteRange{3000, 4000}, [&] { return ++stored > 0; }));
    EXPECT_TRUE(map.Complete());
    EXPECT_FALSE(map.WriteHeld(3, 3000, 3500, [] { return true; }));
    EXPECT_FALSE(map.MarkHeldDone(3, 3000, 4000));
    EXPECT_FALSE(map.FinishRace(0, ByteRange{3000, 4000}, [&] { return ++stored > 0; })) << "no race any more";
    EXPECT_EQ(stored, 1);
}

TEST(SegmentMapCustody, ARaceIsLostWhenThePeersWinOrHttpTookThePieceBack) {
    SegmentMap map;
    map.Reset(MakePlan(2000, 1, 1000, 1000), RangeSet());
    ByteRange r;
    ASSERT_TRUE(map.Hold(0, ByteRange{0, 1000}, 0));
    ASSERT_TRUE(map.ClaimRace(5, 0, 5000, 3000, 1000, &r));
    ASSERT_TRUE(map.MarkHeldDone(0, 0, 1000));  // the peers were first
    EXPECT_FALSE(map.FinishRace(5, r, [] { return true; }));
    // Handed back and claimed by a connection that writes as it reads: the
    // race must not store over it.
    ASSERT_TRUE(map.Hold(1, ByteRange{1000, 2000}, 0));
    ASSERT_TRUE(map.ClaimRace(5, 0, 5000, 3000, 1000, &r));
    map.Unhold(1);
    ByteRange claimed;
    ASSERT_TRUE(map.Claim(6, 0, &claimed));
    EXPECT_FALSE(map.FinishRace(5, r, [] { return true; }));
}

// A piece the swarm verifies while the task rebuilds its round is not lost
// (the round's `done` was read before); a start-over forgets everything.
TEST(SegmentMapCustody, ResetKeepsPiecesVerifiedMeanwhileAndClearForgetsAll) {
    SegmentMap map;
    const SegmentMap::Plan plan = MakePlan(4000, 1, 1000, 1000);
    map.Reset(plan, RangeSet());
    const RangeSet before = map.Done();
    ASSERT_TRUE(map.Hold(2, ByteRange{2000, 3000}));
    ASSERT_TRUE(map.MarkHeldDone(2, 2000, 3000));
    map.MarkDone(0, 500);  // half a piece never counts
    map.Reset(plan, before);
    EXPECT_TRUE(map.Done().Covers(2000, 3000));
    EXPECT_EQ(map.DoneBytes(), 1000u);
    map.Unmark(2000, 3000);
    EXPECT_EQ(map.DoneBytes(), 0u);
    ASSERT_TRUE(map.Hold(3, ByteRange{3000, 4000}));
    map.MarkDone(0, 1000);
    map.Clear();
    map.Reset(plan, RangeSet());
    EXPECT_EQ(map.DoneBytes(), 0u);
    EXPECT_EQ(map.Free().CoveredBytes(), 4000u) << "holds gone too";
}

}  // namespace
