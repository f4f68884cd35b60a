#include "p2sp/record/RangeSet.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<ByteRange> Ranges(std::initializer_list<ByteRange> list) { return list; }

struct AddCase {
    const char* fault;
    std::vector<ByteRange> added;
    std::vector<ByteRange> expected;
};

class RangeSetAdd : public ::testing::TestWithParam<AddCase> {};

TEST_P(RangeSetAdd, MergesIntoSortedDisjointRanges) {
    RangeSet set;
    for (const ByteRange& r : GetParam().added) set.Add(r.begin, r.end);
    EXPECT_EQ(set.Ranges(), GetParam().expected) << GetParam().fault;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RangeSetAdd,
    ::testing::Values(
        AddCase{"empty range ignored", Ranges({{5, 5}, {9, 3}}), Ranges({})},
        AddCase{"touching ranges left apart", Ranges({{0, 10}, {10, 20}}), Ranges({{0, 20}})},
        AddCase{"out of order insert", Ranges({{30, 40}, {0, 10}}), Ranges({{0, 10}, {30, 40}})},
        AddCase{"range bridging two", Ranges({{0, 10}, {20, 30}, {5, 25}}), Ranges({{0, 30}})},
        AddCase{"range inside another", Ranges({{0, 100}, {10, 20}}), Ranges({{0, 100}})},
        AddCase{"range swallowing several", Ranges({{10, 20}, {30, 40}, {50, 60}, {0, 70}}), Ranges({{0, 70}})},
        AddCase{"overlap at the front", Ranges({{10, 20}, {5, 12}}), Ranges({{5, 20}})},
        AddCase{"gap of one byte kept", Ranges({{0, 10}, {11, 20}}), Ranges({{0, 10}, {11, 20}})}));

TEST(RangeSet, FirstGapFindsHolesInOrder) {
    RangeSet set;
    ByteRange gap;
    ASSERT_TRUE(set.FirstGap(100, &gap));
    EXPECT_EQ(gap, (ByteRange{0, 100}));
    set.Add(0, 40);
    set.Add(60, 100);
    ASSERT_TRUE(set.FirstGap(100, &gap));
    EXPECT_EQ(gap, (ByteRange{40, 60}));
    ASSERT_TRUE(set.FirstGap(50, &gap));  // the limit cuts the gap
    EXPECT_EQ(gap, (ByteRange{40, 50}));
    EXPECT_FALSE(set.FirstGap(40, &gap));
    set.Add(40, 60);
    EXPECT_FALSE(set.FirstGap(100, &gap));
    ASSERT_TRUE(set.FirstGap(101, &gap));  // a file longer than what is there
    EXPECT_EQ(gap, (ByteRange{100, 101}));
}

TEST(RangeSet, RunEndingAtOnlyAtARangeEnd) {
    RangeSet set;
    set.Add(10, 30);
    set.Add(50, 55);
    EXPECT_EQ(set.RunEndingAt(30), 20u);
    EXPECT_EQ(set.RunEndingAt(55), 5u);
    EXPECT_EQ(set.RunEndingAt(29), 0u);
    EXPECT_EQ(set.RunEndingAt(0), 0u);
}

TEST(RangeSet, CoversAndCounts) {
    RangeSet set;
    set.Add(10, 30);
    set.Add(50, 55);
    EXPECT_EQ(set.CoveredBytes(), 25u);
    EXPECT_EQ(set.HighestEnd(), 55u);
    EXPECT_TRUE(set.Covers(10, 30));
    EXPECT_TRUE(set.Covers(12, 13));
    EXPECT_FALSE(set.Covers(9, 11));
    EXPECT_FALSE(set.Covers(25, 51));  // spans a hole
    EXPECT_FALSE(set.Covers(55, 56));
    set.Remove(20, 52);  // cuts one range and the start of another
    EXPECT_EQ(set.CoveredBytes(), 13u);
    EXPECT_TRUE(set.Covers(10, 20));
    EXPECT_TRUE(set.Covers(52, 55));
    EXPECT_FALSE(set.Covers(19, 21));
    set.Remove(0, 100);
    EXPECT_TRUE(set.Empty());
}

}  // namespace
