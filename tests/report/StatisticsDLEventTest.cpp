#include "report/StatisticsDLEvent.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

uint32_t g_now = 0;
uint32_t FakeClock() { return g_now; }

class RecorderTest : public ::testing::Test {
protected:
    RecorderTest() : state(Path()) {}
    static std::wstring Path() {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        return std::wstring(temp) + L"vorla-recorder-test.tmp.cfg";
    }
    void SetUp() override { ::DeleteFileW(state.Path().c_str()); }
    void TearDown() override { ::DeleteFileW(state.Path().c_str()); }
    CStateFile state;
};

TEST_F(RecorderTest, AccumulatesStartStopPairsAndSavesAtTheEnd) {
    ASSERT_TRUE(state.Create());
    state.SetDownloadTotalTime(1000);
    {
        CStatisticsDLEvent recorder(state, &FakeClock, nullptr);
        EXPECT_EQ(1000u, recorder.Total());
        g_now = 5000;
        recorder.OnTaskState(CDownloadManager::TASK_STOPPED);  // no start: nothing
        EXPECT_EQ(1000u, recorder.Total());
        recorder.OnTaskState(CDownloadManager::TASK_STARTED);
        g_now = 7000;
        recorder.OnTaskState(CDownloadManager::TASK_STARTED);  // restarts the interval
        g_now = 7500;
        recorder.OnTaskState(CDownloadManager::TASK_STOPPED);
        recorder.OnTaskState(CDownloadManager::TASK_STOPPED);
        EXPECT_EQ(1500u, recorder.Total());
        // Re-creating the state file in between does not reset the total.
        ASSERT_TRUE(state.Create());
        g_now = 8000;
        recorder.OnTaskState(CDownloadManager::TASK_STARTED);
        g_now = 9000;
        recorder.OnTaskState(CDownloadManager::TASK_STOPPED);
        EXPECT_EQ(2500u, recorder.Total());
    }
    EXPECT_EQ(2500u, state.GetDownloadTotalTime());
}

TEST_F(RecorderTest, SurvivesTheTimerWrap) {
    CStatisticsDLEvent recorder(state, &FakeClock, nullptr);
    g_now = 0xFFFFFF00u;
    recorder.OnTaskState(CDownloadManager::TASK_STARTED);
    g_now = 0x100u;
    recorder.OnTaskState(CDownloadManager::TASK_STOPPED);
    EXPECT_EQ(512u, recorder.Total());
}

TEST_F(RecorderTest, WithoutAStateFileNothingIsLoadedOrWritten) {
    {
        CStatisticsDLEvent recorder(state, &FakeClock, nullptr);
        EXPECT_EQ(0u, recorder.Total());
        g_now = 1;
        recorder.OnTaskState(CDownloadManager::TASK_STARTED);
        g_now = 11;
        recorder.OnTaskState(CDownloadManager::TASK_STOPPED);
    }
    EXPECT_FALSE(state.Exists());
}

}  // namespace
