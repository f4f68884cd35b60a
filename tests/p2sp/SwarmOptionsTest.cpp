// The listening and upload options as the engine receives them in text.
#include "p2sp/swarm/SwarmOptions.h"

#include <gtest/gtest.h>

namespace {

TEST(SwarmOptions, ListenTextGivesAddressAndPortRange) {
    struct Case {
        const wchar_t* text;
        bool ok;
        bool listen;
        uint32_t address;
        uint16_t first, last;
    } cases[] = {
        {L"off", true, false, 0, 6881, 6889},
        {L"7000", true, true, 0, 7000, 7000},
        {L"7000-7009", true, true, 0, 7000, 7009},
        {L"127.0.0.1:17300", true, true, 0x7f000001u, 17300, 17300},
        {L"127.0.0.2:17300-17302", true, true, 0x7f000002u, 17300, 17302},
        {L"", false, true, 0, 6881, 6889},
        {L"0", false, true, 0, 6881, 6889},
        {L"70000", false, true, 0, 6881, 6889},
        {L"7009-7000", false, true, 0, 6881, 6889},
        {L"127.0.0.1", false, true, 0, 6881, 6889},
        {L"127.0.0.256:7000", false, true, 0, 6881, 6889},
        {L"host:7000", false, true, 0, 6881, 6889},
        {L"7000x", false, true, 0, 6881, 6889},
    };
    for (const Case& c : cases) {
        SwarmOptions o;
        EXPECT_EQ(ParseListenOption(c.text, &o), c.ok) << c.text;
        EXPECT_EQ(o.listen, c.listen) << c.text;
        EXPECT_EQ(o.listenAddress, c.address) << c.text;
        EXPECT_EQ(o.firstPort, c.first) << c.text;
        EXPECT_EQ(o.lastPort, c.last) << c.text;
    }
}

TEST(SwarmOptions, UploadCapIsADecimalByteRate) {
    uint32_t cap = 7;
    EXPECT_TRUE(ParseUploadCapOption(L"0", &cap));
    EXPECT_EQ(cap, 0u);
    EXPECT_TRUE(ParseUploadCapOption(L"4194304", &cap));
    EXPECT_EQ(cap, 4194304u);
    EXPECT_FALSE(ParseUploadCapOption(L"-1", &cap));
    EXPECT_FALSE(ParseUploadCapOption(L"99999999999", &cap));
    EXPECT_EQ(cap, 4194304u);
}

TEST(SwarmOptions, SeedLimitsArePercentColonMinutes) {
    struct Case {
        const wchar_t* text;
        bool ok;
        uint32_t percent, minutes;
    } cases[] = {
        {L"100:30", true, 100, 30}, {L"0:0", true, 0, 0},         {L"250:0", true, 250, 0},
        {L"100", false, 0, 0},      {L":30", false, 0, 0},        {L"100:", false, 0, 0},
        {L"100:30x", false, 0, 0},  {L"100001:1", false, 0, 0},   {L"1:525601", false, 0, 0},
    };
    for (const Case& c : cases) {
        SeedLimits limits;
        limits.ratioPercent = 7;
        limits.minutes = 9;
        EXPECT_EQ(ParseSeedLimitsOption(c.text, &limits), c.ok) << c.text;
        EXPECT_EQ(limits.ratioPercent, c.ok ? c.percent : 7u) << c.text;
        EXPECT_EQ(limits.minutes, c.ok ? c.minutes : 9u) << c.text;
    }
}

// Seeding ends at the ratio or the time, whichever comes first; 0 turns one off.
TEST(SwarmOptions, SeedingEndsAtTheRatioOrTheTimeWhicheverIsFirst) {
    SeedLimits limits;  // 100 % or 30 minutes
    const uint64_t file = 1000, finished = 5000, minute = 60000;
    EXPECT_FALSE(limits.Over(999, file, finished, finished + 29 * minute));
    EXPECT_TRUE(limits.Over(1000, file, finished, finished));
    EXPECT_TRUE(limits.Over(0, file, finished, finished + 30 * minute));
    limits.ratioPercent = 0;
    EXPECT_FALSE(limits.Over(1000000, file, finished, finished + minute));
    limits.minutes = 0;
    EXPECT_FALSE(limits.Over(1000000, file, finished, finished + 1000 * minute));
    limits.ratioPercent = 250;
    EXPECT_FALSE(limits.Over(2499, file, finished, finished));
    EXPECT_TRUE(limits.Over(2500, file, finished, finished));
}

}  // namespace
