#include "p2sp/http/HttpHeaders.h"

#include <gtest/gtest.h>

namespace {

struct RangeCase {
    const char* text;
    bool ok;
    uint64_t first, last, total;
};

class ContentRangeParse : public ::testing::TestWithParam<RangeCase> {};

TEST_P(ContentRangeParse, AcceptsOnlyWellFormedSatisfiedRanges) {
    ContentRange r;
    const RangeCase& c = GetParam();
    ASSERT_EQ(ParseContentRange(c.text, &r), c.ok) << c.text;
    if (c.ok) {
        EXPECT_EQ(r.first, c.first);
        EXPECT_EQ(r.last, c.last);
        EXPECT_EQ(r.total, c.total);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ContentRangeParse,
    ::testing::Values(RangeCase{"bytes 0-99/100", true, 0, 99, 100},
                      RangeCase{" bytes 100-199/5000000000 ", true, 100, 199, 5000000000ull},
                      RangeCase{"bytes 0-0/*", true, 0, 0, 0},
                      RangeCase{"bytes */100", false, 0, 0, 0},      // unsatisfied range
                      RangeCase{"bytes 0-100/100", false, 0, 0, 0},  // last beyond the file
                      RangeCase{"bytes 50-10/100", false, 0, 0, 0},  // reversed
                      RangeCase{"items 0-9/10", false, 0, 0, 0},
                      RangeCase{"bytes 0-9", false, 0, 0, 0},
                      RangeCase{"bytes -5-9/10", false, 0, 0, 0},
                      RangeCase{"bytes 0-99999999999999999999/100", false, 0, 0, 0}));

TEST(DecimalParse, RejectsOverflowAndJunk) {
    uint64_t v = 0;
    EXPECT_TRUE(ParseDecimalU64("18446744073709551615", &v));
    EXPECT_EQ(v, UINT64_MAX);
    EXPECT_FALSE(ParseDecimalU64("18446744073709551616", &v));
    EXPECT_FALSE(ParseDecimalU64("12a", &v));
    EXPECT_FALSE(ParseDecimalU64("", &v));
    EXPECT_FALSE(ParseDecimalU64("-1", &v));
    EXPECT_TRUE(ParseDecimalU64(" 42 ", &v));
    EXPECT_EQ(v, 42u);
}

TEST(Etag, OnlyStrongTagsMayGuardARange) {
    EXPECT_TRUE(IsStrongEtag("\"abc\""));
    EXPECT_FALSE(IsStrongEtag("W/\"abc\""));
    EXPECT_FALSE(IsStrongEtag("abc"));
    EXPECT_FALSE(IsStrongEtag("\""));
}

}  // namespace
