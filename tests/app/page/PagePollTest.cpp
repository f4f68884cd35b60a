// The download page's one-second poll driven tick by tick on a scripted
// engine, end to end: a stall that ends in the prompt, the silent retry
// after a failure, the network wait, the file wait, and the companion's
// hand-over to the game. The rules' counts and edges are PageRulesTest's.
#include "tests/app/page/PageTestSupport.h"

#include "config/DownloaderConfig.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

class PagePollTest : public PageTest {
protected:
    // A page whose download runs without the companion.
    void StartGameOnly() {
        OpenPage();
        Page().SetCompanionChoice(false);
        StartInFolder();
        ASSERT_NE(nullptr, Game());
        ASSERT_TRUE(Game()->running);
    }
};

TEST_F(PagePollTest, TheFourthStallReportsAndShowsTheDownloadFailedPrompt) {
    StartGameOnly();
    Reports().Clear();
    const int first = GameId();
    Game()->info.totalBytes = 1000;
    Polls(90);
    EXPECT_EQ(first, GameId()) << "ninety idle polls are not yet a stall";
    Polls(1);
    const int second = GameId();
    EXPECT_NE(first, second) << "the ninety-first idle poll restarts the download";
    EXPECT_TRUE(engine().tasks[first].removed) << "the stalled task does not stay in the engine";
    EXPECT_TRUE(engine().tasks[second].running);
    EXPECT_EQ(1, engine().LiveCount(std::wstring(L"/") + kGameFile));
    EXPECT_EQ(CDLDlg::Face::Pause, Page().CurrentFace());
    EXPECT_TRUE(Page().IsTimerRunning(CDLDlg::TIMER_PROGRESS));

    Polls(91 * 2);
    const int lastRestart = GameId();
    engine().tasks[lastRestart].info.totalBytes = 1000;
    engine().tasks[lastRestart].info.completedBytes = 250;
    EXPECT_EQ(0u, prompts_.Count("failed"));
    Polls(91);
    EXPECT_EQ(1u, prompts_.Count("failed"));
    EXPECT_EQ(lastRestart, GameId()) << "no fourth restart";
    // Start creates the task twice (the first is removed), then three restarts.
    EXPECT_EQ(5u, engine().Count("Create "));
    EXPECT_EQ(1, engine().LiveCount(std::wstring(L"/") + kGameFile));
    EXPECT_EQ(CDLDlg::Face::Continue, Page().CurrentFace());
    EXPECT_FALSE(Page().IsTimerRunning(CDLDlg::TIMER_PROGRESS));
    EXPECT_FALSE(engine().tasks[lastRestart].running);
    EXPECT_EQ(L"速度：0.0KB/s", Page().SpeedText());
    // The stall report carries the game's own percentage and bytes.
    ASSERT_EQ(1u, Reports().Count("?action=25&cg=0&cwdm=0"));

    // The counts start over: a continued download gets three restarts again.
    ASSERT_TRUE(WriteFileBytes(folder_ + kGameFile + L".P2P", "part"));
    Command(CDLDlg::ID_CONTINUE);
    Polls(91);
    EXPECT_NE(lastRestart, GameId());
    EXPECT_EQ(1u, prompts_.Count("failed"));
}

TEST_F(PagePollTest, AFailureRetriesSilentlyOnceThenPromptsThenRetriesAgain) {
    StartGameOnly();
    const int first = GameId();
    Game()->info.state = P2SP_STATE_SOURCE_FAILED;
    Polls(1);
    EXPECT_EQ(0u, prompts_.Count("failed"));
    EXPECT_NE(first, GameId()) << "silent retry";
    EXPECT_TRUE(Game()->running);
    EXPECT_EQ(1u, Reports().Count("?action=5&cg=0&cwdm=6"));

    const int second = GameId();
    Game()->info.state = P2SP_STATE_LOCAL_FAILED;
    Polls(1);
    EXPECT_EQ(1u, prompts_.Count("failed")) << "the failure right after a retry shows the prompt";
    EXPECT_EQ(second, GameId());
    EXPECT_EQ(CDLDlg::Face::Continue, Page().CurrentFace());
    EXPECT_EQ(1u, Reports().Count("?action=5&cg=0&cwdm=5"));

    // Continued by the user, the next failure retries silently again.
    ASSERT_TRUE(WriteFileBytes(folder_ + kGameFile + L".P2P", "part"));
    Command(CDLDlg::ID_CONTINUE);
    Polls(1);  // the same task still reports its failure
    EXPECT_EQ(1u, prompts_.Count("failed"));
    EXPECT_NE(second, GameId());
    EXPECT_TRUE(Game()->running);
}

TEST_F(PagePollTest, OfflineStopsTheTasksAndTheNetworkWaitResumesThem) {
    OpenPage();
    StartInFolder();  // with the companion
    ASSERT_NE(nullptr, SetupTask());
    const int game = GameId();
    const int setup = SetupTaskId();
    online_ = false;
    Polls(1);
    EXPECT_FALSE(engine().tasks[setup].running);
    EXPECT_FALSE(engine().tasks[game].running);
    EXPECT_TRUE(Page().IsTimerRunning(CDLDlg::TIMER_NETWORK_WAIT));
    EXPECT_FALSE(Page().IsTimerRunning(CDLDlg::TIMER_PROGRESS));

    Tick(CDLDlg::TIMER_NETWORK_WAIT);  // still offline: nothing
    EXPECT_EQ(setup, SetupTaskId());
    online_ = true;
    Tick(CDLDlg::TIMER_NETWORK_WAIT);
    EXPECT_NE(setup, SetupTaskId()) << "recreated";
    EXPECT_NE(game, GameId()) << "recreated";
    EXPECT_TRUE(SetupTask()->running) << "the pending companion resumes first";
    EXPECT_FALSE(Game()->running);
    EXPECT_FALSE(Page().IsTimerRunning(CDLDlg::TIMER_NETWORK_WAIT));
    EXPECT_TRUE(Page().IsTimerRunning(CDLDlg::TIMER_PROGRESS));
    EXPECT_EQ(0, ThePageRetryCounters().idlePolls) << "offline polls are not idle polls";
}

TEST_F(PagePollTest, APauseWhileWaitingForTheNetworkStaysPaused) {
    StartGameOnly();
    online_ = false;
    Polls(1);
    ASSERT_TRUE(Page().IsTimerRunning(CDLDlg::TIMER_NETWORK_WAIT));
    Command(CDLDlg::ID_PAUSE);
    EXPECT_FALSE(Page().IsTimerRunning(CDLDlg::TIMER_NETWORK_WAIT));
    online_ = true;
    const size_t before = engine().calls.size();
    Tick(CDLDlg::TIMER_NETWORK_WAIT);  // a tick already queued when the pause came
    EXPECT_EQ(before, engine().calls.size());
    EXPECT_EQ(CDLDlg::Face::Continue, Page().CurrentFace());
    EXPECT_FALSE(Game()->running);
}

TEST_F(PagePollTest, AnIdleCompanionIsAbandonedAndTheGameStartsBySevenPolls) {
    OpenPage();
    StartInFolder();
    ASSERT_NE(nullptr, SetupTask());
    EXPECT_TRUE(SetupTask()->running);
    EXPECT_FALSE(Game()->running) << "the game waits for the companion";
    EXPECT_TRUE(Game()->owned);
    EXPECT_TRUE(SetupTask()->owned);
    EXPECT_EQ(1u, Reports().Count("?action=2&tg=1&"));

    int startedAt = 0;
    for (int poll = 1; poll <= 7 && !startedAt; ++poll) {
        Polls(1);
        if (Game()->running) startedAt = poll;
    }
    EXPECT_GE(startedAt, 1);
    EXPECT_LE(startedAt, 7);
    EXPECT_FALSE(SetupTask()->running);
    EXPECT_EQ(1, Page().Companion().doneFlag);
    EXPECT_TRUE(launched_.empty()) << "an abandoned setup is never run";
}

TEST_F(PagePollTest, AFinishedCompanionLaunchesItsSetupOnceAndReportsOnce) {
    ASSERT_TRUE(WriteFileBytes(TempFolder() + kSetupFile, "setup"));
    OpenPage();
    StartInFolder();
    ASSERT_NE(nullptr, SetupTask());
    SetupTask()->info.totalBytes = 5000;
    SetupTask()->info.completedBytes = 2000;
    SetupTask()->info.serverSpeed = 1536;
    Game()->info.totalBytes = 1000;
    Polls(1);
    EXPECT_EQ(L"速度：1.5KB/s", Page().SpeedText());
    EXPECT_EQ(L"1.95KB/5.86KB", Page().SizeText()) << "companion folded into the figures";

    SetupTask()->info.state = P2SP_STATE_FINISHED;
    SetupTask()->info.completedBytes = 4000;  // lagging behind its total
    Polls(1);
    EXPECT_TRUE(Game()->running);
    Polls(3);
    const DWORD deadline = ::GetTickCount() + 5000;
    while (::GetTickCount() < deadline && Reports().Count("action=setupbox") == 0) ::Sleep(20);
    ::Sleep(100);
    {
        std::lock_guard<std::mutex> hold(launchLock_);
        ASSERT_EQ(1u, launched_.size());
        EXPECT_EQ(TempFolder() + kSetupFile + L" /S", launched_[0]);
    }
    EXPECT_EQ(1u, Reports().Count("action=setupbox&from=1"));
    EXPECT_EQ(L"4.88KB/5.86KB", Page().SizeText()) << "a finished companion counts its full size";
}

TEST_F(PagePollTest, AnUntickedBoxCreatesNoMutexNoCompanionTaskAndNoSetup) {
    ASSERT_TRUE(WriteFileBytes(TempFolder() + kSetupFile, "setup"));
    OpenPage();
    Page().SetCompanionChoice(false);
    StartInFolder();
    EXPECT_FALSE(MutexExists(mutexName_));
    EXPECT_EQ(nullptr, SetupTask());
    EXPECT_TRUE(Game()->running);
    EXPECT_EQ(1u, Reports().Count("?action=2&tg=0&"));
    Game()->info.state = P2SP_STATE_FINISHED;
    Polls(1);
    EXPECT_TRUE(launched_.empty());
}

TEST_F(PagePollTest, ACompanionClaimedByAnotherDownloaderStartsTheGameAtOnce) {
    HANDLE other = ::CreateMutexW(nullptr, FALSE, mutexName_.c_str());
    ASSERT_NE(nullptr, other);
    OpenPage();
    StartInFolder();
    EXPECT_EQ(nullptr, SetupTask());
    EXPECT_TRUE(Game()->running);
    ::CloseHandle(other);
}

TEST_F(PagePollTest, StartCreatesOneGameTaskAndLeavesNoOrphan) {
    OpenPage();
    Page().SetCompanionChoice(false);
    StartInFolder();
    EXPECT_EQ(1, engine().LiveCount(std::wstring(L"/") + kGameFile));
    EXPECT_EQ(folder_ + kGameFile, Game()->target);
    EXPECT_EQ(folder_, CStateFile(statePath_).GetDir());
    EXPECT_FALSE(Page().IsChangeFolderShown());
    EXPECT_TRUE(Page().IsOpenFolderShown());
    EXPECT_FALSE(Page().IsCheckBoxEnabled());
}

TEST_F(PagePollTest, ContinueAfterAPauseWhileTheCompanionDownloadsResumesWithoutAPrompt) {
    OpenPage();
    StartInFolder();
    ASSERT_NE(nullptr, SetupTask());
    Polls(1);
    Command(CDLDlg::ID_PAUSE);
    ASSERT_FALSE(SetupTask()->running);
    // The game has not started, so no partial file of it exists.
    Command(CDLDlg::ID_CONTINUE);
    EXPECT_EQ(0u, prompts_.Count("damaged"));
    EXPECT_TRUE(SetupTask()->running) << "the companion goes on first";
    EXPECT_EQ(CDLDlg::Face::Pause, Page().CurrentFace());
    EXPECT_TRUE(Page().IsTimerRunning(CDLDlg::TIMER_PROGRESS));
}

TEST_F(PagePollTest, ContinueAfterAFailureBeforeTheFirstByteResumesWithoutAPrompt) {
    StartGameOnly();
    Game()->info.state = P2SP_STATE_SOURCE_FAILED;
    Polls(1);  // the silent retry
    Game()->info.state = P2SP_STATE_SOURCE_FAILED;
    Polls(1);
    ASSERT_EQ(1u, prompts_.Count("failed"));
    ASSERT_EQ(CDLDlg::Face::Continue, Page().CurrentFace());
    Command(CDLDlg::ID_CONTINUE);
    EXPECT_EQ(0u, prompts_.Count("damaged"));
    EXPECT_TRUE(Game()->running);
    EXPECT_EQ(CDLDlg::Face::Pause, Page().CurrentFace());
}

TEST_F(PagePollTest, ContinueWhenThePartialFileWentMissingStillOffersADownloadAgain) {
    StartGameOnly();
    Game()->info.totalBytes = 1000;
    Game()->info.completedBytes = 300;
    Game()->info.serverSpeed = 100;
    Polls(1);
    Command(CDLDlg::ID_PAUSE);
    // Bytes were written, yet no partial file is on disk.
    Command(CDLDlg::ID_CONTINUE);
    EXPECT_EQ(1u, prompts_.Count("damaged"));
    EXPECT_EQ(CDLDlg::Face::Continue, Page().CurrentFace());
}

TEST_F(PagePollTest, AFinishedFileThatNeverAppearsEndsInTheDownloadFailedPrompt) {
    PageConfig config;
    config.safecheck = L"0";
    Configure(config);
    StartGameOnly();
    Game()->info.state = P2SP_STATE_FINISHED;
    Polls(1);
    ASSERT_TRUE(Page().IsTimerRunning(CDLDlg::TIMER_FILE_WAIT));
    for (int tick = 0; tick < 31; ++tick) Tick(CDLDlg::TIMER_FILE_WAIT);
    EXPECT_EQ(0u, prompts_.Count("failed")) << "thirty-one ticks still wait";
    for (int tick = 0; tick < 10; ++tick) Tick(CDLDlg::TIMER_FILE_WAIT);
    EXPECT_EQ(1u, prompts_.Count("failed"));
    EXPECT_FALSE(Page().IsTimerRunning(CDLDlg::TIMER_FILE_WAIT));
    EXPECT_EQ(CDLDlg::Face::Continue, Page().CurrentFace());
    EXPECT_EQ(L"速度：0.0KB/s", Page().SpeedText());
}

// A game task the engine cannot create is a failure, not a download that
// stalls at zero speed for six minutes.
struct UncreatableCase {
    const char* name;
    bool unbound;  // the engine did not bind at all; else it refuses the task
};

class UncreatableGameTaskTest : public PagePollTest, public ::testing::WithParamInterface<UncreatableCase> {};

TEST_P(UncreatableGameTaskTest, FailsAtOnceRetriesOnceThenPrompts) {
    if (GetParam().unbound) {
        manager_.reset(new CDownloadManager(EngineEntryPoints()));
        ASSERT_FALSE(manager_->IsBound());
    } else {
        engine().refuseSuffix = kGameFile;
    }
    OpenPage();
    Page().SetCompanionChoice(false);
    StartInFolder();
    Polls(1);
    EXPECT_EQ(0u, prompts_.Count("failed")) << "the one silent retry";
    EXPECT_TRUE(Page().IsTimerRunning(CDLDlg::TIMER_PROGRESS));
    Polls(1);
    EXPECT_EQ(1u, prompts_.Count("failed"));
    EXPECT_EQ(CDLDlg::Face::Continue, Page().CurrentFace());
    EXPECT_FALSE(Page().IsTimerRunning(CDLDlg::TIMER_PROGRESS));
}

INSTANTIATE_TEST_SUITE_P(Engines, UncreatableGameTaskTest,
                         ::testing::Values(UncreatableCase{"Refused", false}, UncreatableCase{"Unbound", true}),
                         [](const ::testing::TestParamInfo<UncreatableCase>& info) { return info.param.name; });
