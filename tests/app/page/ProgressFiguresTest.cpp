// Size, speed and progress figures of the download page.
#include "app/ProgressFigures.h"

#include <gtest/gtest.h>

namespace {

P2spTaskInfo Record(uint64_t total, uint64_t completed, uint32_t serverSpeed = 0, uint32_t peerSpeed = 0,
                    uint8_t state = P2SP_STATE_RUNNING) {
    P2spTaskInfo info{};
    info.totalBytes = total;
    info.completedBytes = completed;
    info.serverSpeed = serverSpeed;
    info.peerSpeed = peerSpeed;
    info.state = state;
    return info;
}

CompanionFigures Alongside(bool done) {
    CompanionFigures offer;
    offer.ticked = true;
    offer.taskId = 2;
    offer.done = done;
    return offer;
}

const uint64_t kGameSize = 7340032;

}  // namespace

TEST(FormatSize, PicksTheLargestUnitThatIsAtLeastOne) {
    const struct {
        uint64_t bytes;
        const wchar_t* text;
    } cases[] = {
        {0, L"0.00B"},
        {1023, L"1023.00B"},
        {1024, L"1.00KB"},
        {1536, L"1.50KB"},
        {1048575, L"1024.00KB"},  // just below a MiB stays in KB, rounded up
        {1048576, L"1.00MB"},
        {1073741823, L"1024.00MB"},
        {1073741824, L"1.00GB"},
        {5497558138880ull, L"5120.00GB"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.text, FormatSize(c.bytes)) << c.bytes;
}

TEST(FormatSize, RoundsTheQuotientToSinglePrecisionFirst) {
    // 550212168704 / 2^30 is 512.4249... in double precision, whose nearest
    // float is 512.42 to two decimals although the double shows 512.43.
    EXPECT_EQ(L"512.42GB", FormatSize(550212168704ull));
}

TEST(FormatSizeText, ShowsDoneBeforeTotal) {
    EXPECT_EQ(L"1.00KB/1.00MB", FormatSizeText(1024, 1048576));
    EXPECT_EQ(L"0.00B/7.00MB", FormatSizeText(0, kGameSize));
}

TEST(FormatSpeedText, ShowsKilobytesWithOneDecimal) {
    EXPECT_EQ(L"速度：1.5KB/s", FormatSpeedText(1536));
    EXPECT_EQ(L"速度：0.0KB/s", FormatSpeedText(0));
    EXPECT_EQ(L"速度：10240.0KB/s", FormatSpeedText(10485760));
    EXPECT_EQ(std::wstring(L"速度：0.0KB/s"), kSpeedAtRest);
}

TEST(ProgressPercentage, TruncatesAndStaysWithinTheBar) {
    EXPECT_EQ(0u, ProgressPercentage(5, 0));
    EXPECT_EQ(99u, ProgressPercentage(999, 1000));
    EXPECT_EQ(100u, ProgressPercentage(1000, 1000));
    EXPECT_EQ(100u, ProgressPercentage(1500, 1000));
    // 64-bit products: 300 GiB done of 400 GiB.
    EXPECT_EQ(75u, ProgressPercentage(300ull << 30, 400ull << 30));
}

TEST(PollFigures, UnknownGameTotalShowsGameSize) {
    const ProgressFiguresResult figures = ComputePollFigures(Record(0, 0), Record(0, 0), kGameSize, {});
    EXPECT_EQ(kGameSize, figures.total);
    EXPECT_EQ(0u, figures.percentage);
    // Once the engine knows the total, the configured size no longer counts.
    EXPECT_EQ(1000u, ComputePollFigures(Record(1000, 10), Record(0, 0), kGameSize, {}).total);
}

TEST(PollFigures, GameAloneCountsBothOfItsSpeedFields) {
    const ProgressFiguresResult figures =
        ComputePollFigures(Record(1000, 250, 1000, 536), Record(500, 500, 7, 7), kGameSize, {});
    EXPECT_EQ(250u, figures.done);
    EXPECT_EQ(1000u, figures.total);
    EXPECT_EQ(1536u, figures.speed);
    EXPECT_EQ(25u, figures.percentage);
}

TEST(PollFigures, PendingCompanionIsFoldedIn) {
    const ProgressFiguresResult figures =
        ComputePollFigures(Record(0, 0), Record(1000, 400, 100, 24), 9000, Alongside(false));
    EXPECT_EQ(10000u, figures.total);
    EXPECT_EQ(400u, figures.done);
    EXPECT_EQ(124u, figures.speed);
    EXPECT_EQ(4u, figures.percentage);
}

TEST(PollFigures, FinishedCompanionCountsItsFullSizeWhenItsRecordLags) {
    const ProgressFiguresResult figures =
        ComputePollFigures(Record(9000, 1000), Record(1000, 600), kGameSize, Alongside(true));
    EXPECT_EQ(10000u, figures.total);
    EXPECT_EQ(2000u, figures.done);
    EXPECT_EQ(20u, figures.percentage);
}

TEST(PollFigures, CompanionWithoutTaskOrUntickedIsLeftOut) {
    CompanionFigures noTask = Alongside(false);
    noTask.taskId = -1;
    CompanionFigures unticked = Alongside(false);
    unticked.ticked = false;
    for (const CompanionFigures& offer : {noTask, unticked}) {
        const ProgressFiguresResult figures =
            ComputePollFigures(Record(1000, 500, 10), Record(1000, 1000, 90), kGameSize, offer);
        EXPECT_EQ(1000u, figures.total);
        EXPECT_EQ(500u, figures.done);
        EXPECT_EQ(10u, figures.speed);
    }
}

TEST(CompanionShare, UntickedBoxCountsNothing) {
    CompanionFigures offer;
    offer.setupFileSize = 300;
    EXPECT_EQ(0u, CompanionTotal(Record(1000, 500), offer));
    EXPECT_EQ(0u, CompanionDone(Record(1000, 500), offer));
}

TEST(CompanionShare, TickedBoxWithoutRecordCountsTheRecordedSize) {
    CompanionFigures offer;
    offer.ticked = true;
    EXPECT_EQ(10485760u, CompanionTotal(Record(0, 0), offer));
    offer.recordedSize = 2222;
    EXPECT_EQ(2222u, CompanionTotal(Record(0, 0), offer));
    EXPECT_EQ(1000u, CompanionTotal(Record(1000, 0), offer));
}

TEST(CompanionShare, DoneFallsBackToTheSetupFileOnDisk) {
    CompanionFigures offer;
    offer.ticked = true;
    EXPECT_EQ(0u, CompanionDone(Record(0, 0), offer));
    offer.setupFileSize = 3145728;
    EXPECT_EQ(3145728u, CompanionDone(Record(0, 0), offer));
    EXPECT_EQ(77u, CompanionDone(Record(1000, 77), offer));
}

TEST(CompanionShare, ASetupFileFromAnEarlierRunCountsTheSameOnBothSides) {
    CompanionFigures offer;
    offer.ticked = true;
    offer.setupFileSize = 3386327;
    EXPECT_EQ(3386327u, CompanionDone(Record(0, 0), offer));
    EXPECT_EQ(3386327u, CompanionTotal(Record(0, 0), offer));
    // A finished game beside it reads total/total, not 63.47MB/70.24MB.
    const uint64_t game = 63166218;
    const RefreshFigures figures = ComputeRefreshFigures(Record(game, game), Record(0, 0), game, offer);
    EXPECT_EQ(figures.total, figures.done);
    EXPECT_EQ(L"63.47MB/63.47MB", FormatSizeText(figures.done, figures.total));
    // Once the engine knows the companion, its record decides.
    EXPECT_EQ(5000u, CompanionTotal(Record(5000, 0), offer));
}

TEST(RefreshFigures, SetUpWithTickedBoxAndNoCompanionRecordIncludesTenMegabytes) {
    CompanionFigures offer;
    offer.ticked = true;
    const RefreshFigures figures = ComputeRefreshFigures(Record(0, 0), Record(0, 0), kGameSize, offer);
    EXPECT_TRUE(figures.show);
    EXPECT_EQ(kGameSize + 10485760u, figures.total);
    EXPECT_EQ(0u, figures.done);
    EXPECT_EQ(L"0.00B/17.00MB", FormatSizeText(figures.done, figures.total));
}

TEST(RefreshFigures, PositionIsTheGamesOwnPercentage) {
    CompanionFigures offer;
    offer.ticked = true;
    const RefreshFigures figures = ComputeRefreshFigures(Record(1000, 500), Record(0, 0), 1000, offer);
    EXPECT_EQ(50u, figures.position);
    EXPECT_EQ(500u, figures.done);
    EXPECT_EQ(1000u + 10485760u, figures.total);
    // A partial download before the engine knows the total: position 0.
    EXPECT_EQ(0u, ComputeRefreshFigures(Record(0, 500), Record(0, 0), 1000, offer).position);
}

TEST(RefreshFigures, NothingKnownLeavesTheCaptionAlone) {
    const RefreshFigures figures = ComputeRefreshFigures(Record(0, 0), Record(0, 0), 0, {});
    EXPECT_FALSE(figures.show);
    EXPECT_EQ(0u, figures.position);
}
