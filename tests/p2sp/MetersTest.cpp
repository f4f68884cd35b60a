// The speed window and the read sizer, both driven by a fake clock.
#include "p2sp/http/ReadSizer.h"
#include "p2sp/SpeedMeter.h"

#include <gtest/gtest.h>

namespace {

TEST(SpeedMeter, RateOverTheLastTwoSeconds) {
    SpeedMeter meter;
    uint64_t t = 1000000;
    for (int i = 0; i < 8; ++i) meter.Add(250000, t + i * 250);  // 1 MB/s for 2 s
    EXPECT_EQ(meter.Rate(t + 1999), 1000000u);
}

TEST(SpeedMeter, DropsToZeroWhenNothingArrives) {
    SpeedMeter meter;
    meter.Add(500000, 10000);
    EXPECT_GT(meter.Rate(10100), 0u);
    EXPECT_GT(meter.Rate(11900), 0u);
    EXPECT_EQ(meter.Rate(12000), 0u);    // the bucket left the window
    EXPECT_EQ(meter.Rate(100000), 0u);   // a stale bucket whose slot index wrapped
}

TEST(SpeedMeter, StaleBucketIsNotCountedTwice) {
    SpeedMeter meter;
    meter.Add(1000, 0);
    meter.Add(2000, 8 * SpeedMeter::kBucketMs);  // same ring slot, later time
    EXPECT_EQ(meter.Rate(8 * SpeedMeter::kBucketMs), 1000u);  // 2000 bytes over 2 s
}

TEST(ReadSizer, GrowsToOneMebibyteOnAFastLink) {
    ReadSizer sizer;
    for (int i = 0; i < 10; ++i) sizer.Observe(sizer.Size(), sizer.Size(), 1);
    EXPECT_EQ(sizer.Size(), ReadSizer::kMaxBytes);
}

TEST(ReadSizer, ShrinksOnASlowLinkButNotBelowTheMinimum) {
    ReadSizer sizer;
    for (int i = 0; i < 10; ++i) sizer.Observe(sizer.Size(), sizer.Size(), 900);
    EXPECT_EQ(sizer.Size(), ReadSizer::kMinBytes);
}

TEST(ReadSizer, ShortReadAtTheEndOfABodyDoesNotGrow) {
    ReadSizer sizer;
    uint32_t before = sizer.Size();
    sizer.Observe(1000, 1000, 0);  // a tail smaller than the read size
    EXPECT_EQ(sizer.Size(), before);
}

}  // namespace
