#include "app/StartupDecision.h"

#include "config/DownloaderConfig.h"

#include <gtest/gtest.h>

namespace {

TEST(StartupDecision, VersionComparisonLooksAtLengthThenTheFirstFiveCharacters) {
    EXPECT_FALSE(IsDownloaderOutdated(L"1.1.0.1005", L"1.1.0.1005"));
    EXPECT_FALSE(IsDownloaderOutdated(L"1.1.0.1005", L"1.1.0.2000"));  // only five characters count
    EXPECT_TRUE(IsDownloaderOutdated(L"1.1.0.1005", L"1.1.1.1005"));
    EXPECT_TRUE(IsDownloaderOutdated(L"1.1.0.1005", L"1.1.0.999"));  // another length
    EXPECT_TRUE(IsDownloaderOutdated(L"1.1.0.1005", L"0.0.0.10000"));
    EXPECT_FALSE(IsDownloaderOutdated(L"1.2.0.1005", L"1.1.9.9999"));
    EXPECT_FALSE(IsDownloaderOutdated(L"1.1.A.1005", L"1.1.a.1005"));  // case is ignored
    EXPECT_TRUE(IsDownloaderOutdated(L"", L"1"));
}

TEST(StartupDecision, ConfigurationIsCompleteOnlyWithNameSizeIdentifierAndLink) {
    EXPECT_TRUE(IsConfigurationComplete(L"setup.exe", 1, L"7223", L"http://h/setup.exe"));
    EXPECT_FALSE(IsConfigurationComplete(L"", 1, L"7223", L"http://h/"));
    EXPECT_FALSE(IsConfigurationComplete(L"setup.exe", 0, L"7223", L"http://h/setup.exe"));
    EXPECT_FALSE(IsConfigurationComplete(L"setup.exe", 1, L"", L"http://h/setup.exe"));
    EXPECT_FALSE(IsConfigurationComplete(L"setup.exe", 1, L"7223", L""));
}

TEST(StartupDecision, ExactlyOneOutcome) {
    EXPECT_EQ(StartupOutcome::DownloadPage, DecideStartup(CONFIG_READY, true, false));
    EXPECT_EQ(StartupOutcome::DownloadPageOwnBackground, DecideStartup(SKIN_DOWNLOAD_FAILED, true, false));
    EXPECT_EQ(StartupOutcome::Outdated, DecideStartup(CONFIG_READY, true, true));
    EXPECT_EQ(StartupOutcome::Outdated, DecideStartup(SKIN_DOWNLOAD_FAILED, true, true));
    EXPECT_EQ(StartupOutcome::Failure, DecideStartup(CONFIG_READY, false, false));
    EXPECT_EQ(StartupOutcome::Failure, DecideStartup(SKIN_DOWNLOAD_FAILED, false, true));
    for (int failed : {static_cast<int>(CONFIG_DOWNLOAD_FAILED), static_cast<int>(CONFIG_INVALID), 3, 4, -1}) {
        EXPECT_EQ(StartupOutcome::Failure, DecideStartup(failed, true, false)) << failed;
    }
}

TEST(StartupDecision, FinishingAnimationClimbsByTwoToNinetyEight) {
    EXPECT_EQ(2, NextFinishingPosition(0));
    EXPECT_EQ(42, NextFinishingPosition(40));
    EXPECT_EQ(98, NextFinishingPosition(97));
    EXPECT_EQ(98, NextFinishingPosition(98));
}

}  // namespace
