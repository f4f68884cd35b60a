// The download page's rules on plain records, without a window: when a
// stalled download restarts or is given up, what a failed or finished game
// task leads to, the network wait and the file wait, and the events reported.
#include "app/PageRules.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

const char* Name(PageAction action) {
    switch (action) {
        case PageAction::Proceed: return "Proceed";
        case PageAction::WaitForNetwork: return "WaitForNetwork";
        case PageAction::RestartStalled: return "RestartStalled";
        case PageAction::GiveUpStalled: return "GiveUpStalled";
        case PageAction::Complete: return "Complete";
        case PageAction::WaitForFile: return "WaitForFile";
        case PageAction::RetrySilently: return "RetrySilently";
        case PageAction::GiveUpFailed: return "GiveUpFailed";
        case PageAction::KeepWaiting: return "KeepWaiting";
    }
    return "?";
}

GameTaskFacts RunningGame(uint64_t total = 0, uint64_t completed = 0) {
    GameTaskFacts game;
    game.created = true;
    game.totalBytes = total;
    game.completedBytes = completed;
    return game;
}

PageRetryCounters Counters(int idlePolls, int stallRestarts, bool failureRetried = false) {
    PageRetryCounters counters;
    counters.idlePolls = idlePolls;
    counters.stallRestarts = stallRestarts;
    counters.failureRetried = failureRetried;
    return counters;
}

const ReportEventValues kNoReport{};

}  // namespace

void PrintTo(PageAction action, std::ostream* out) { *out << Name(action); }

// One poll of a running game: the idle count, the restarts and the network.
struct IdlePollCase {
    const char* name;
    int idleBefore;
    int restartsBefore;
    uint64_t speed;
    bool online;
    PageAction action;
    int idleAfter;
    int restartsAfter;
};

TEST(PageIdlePoll, RestartsOnlyAfterNinetyIdlePollsAtMostThreeTimesAndNeverOffline) {
    const IdlePollCase cases[] = {
        {"the 89th idle poll waits", 88, 0, 0, true, PageAction::Proceed, 89, 0},
        {"the 90th idle poll still waits", 89, 0, 0, true, PageAction::Proceed, 90, 0},
        {"the 91st idle poll restarts", 90, 0, 0, true, PageAction::RestartStalled, 0, 1},
        {"the second stall restarts", 90, 1, 0, true, PageAction::RestartStalled, 0, 2},
        {"the third stall restarts", 90, 2, 0, true, PageAction::RestartStalled, 0, 3},
        {"the fourth stall gives up", 90, 3, 0, true, PageAction::GiveUpStalled, 0, 0},
        {"the fourth stall's 90th poll still waits", 89, 3, 0, true, PageAction::Proceed, 90, 3},
        {"speed resets both counts", 90, 3, 1, true, PageAction::Proceed, 0, 0},
        {"speed while the network seems down resets too", 50, 2, 1024, false, PageAction::Proceed, 0, 0},
        {"zero speed offline waits for the network", 50, 2, 0, false, PageAction::WaitForNetwork, 50, 2},
        {"zero speed offline is no idle poll", 90, 3, 0, false, PageAction::WaitForNetwork, 90, 3},
    };
    for (const IdlePollCase& c : cases) {
        PageRetryCounters counters = Counters(c.idleBefore, c.restartsBefore);
        const PageDecision decision = DecideIdlePoll(c.speed, c.online, RunningGame(), counters);
        EXPECT_EQ(c.action, decision.action) << c.name;
        EXPECT_EQ(c.idleAfter, counters.idlePolls) << c.name;
        EXPECT_EQ(c.restartsAfter, counters.stallRestarts) << c.name;
        EXPECT_EQ(c.action == PageAction::GiveUpStalled, decision.report) << c.name;
        EXPECT_FALSE(counters.failureRetried) << c.name;
    }
}

// From fresh counters, n idle polls in a row online.
struct IdleRunCase {
    int polls;
    int restarts;
    int giveUps;
    int idleAfter;
};

TEST(PageIdlePoll, CountsConsecutiveIdlePollsFromFreshCounters) {
    const IdleRunCase cases[] = {
        {89, 0, 0, 89},
        {90, 0, 0, 90},
        {91, 1, 0, 0},
        {92, 1, 0, 1},
        {91 * 3, 3, 0, 0},
        {91 * 4 - 1, 3, 0, 90},
        {91 * 4, 3, 1, 0},
        {91 * 5, 4, 1, 0},  // the counts start over after giving up
    };
    for (const IdleRunCase& c : cases) {
        PageRetryCounters counters;
        int restarts = 0;
        int giveUps = 0;
        for (int poll = 0; poll < c.polls; ++poll) {
            const PageAction action = DecideIdlePoll(0, true, RunningGame(), counters).action;
            if (action == PageAction::RestartStalled) ++restarts;
            if (action == PageAction::GiveUpStalled) ++giveUps;
        }
        EXPECT_EQ(c.restarts, restarts) << c.polls << " polls";
        EXPECT_EQ(c.giveUps, giveUps) << c.polls << " polls";
        EXPECT_EQ(c.idleAfter, counters.idlePolls) << c.polls << " polls";
    }
}

TEST(PageIdlePoll, APollWithSpeedBetweenStallsGivesThreeRestartsAgain) {
    PageRetryCounters counters = Counters(0, 3);
    EXPECT_EQ(PageAction::Proceed, DecideIdlePoll(100, true, RunningGame(), counters).action);
    int restarts = 0;
    for (int poll = 0; poll < 91 * 3; ++poll) {
        const PageAction action = DecideIdlePoll(0, true, RunningGame(), counters).action;
        ASSERT_NE(PageAction::GiveUpStalled, action) << poll;
        if (action == PageAction::RestartStalled) ++restarts;
    }
    EXPECT_EQ(3, restarts);
}

// The stall report carries the game's own percentage in the action slot and
// its completed bytes, low 32 bits, in tg.
struct StallReportCase {
    const char* name;
    uint64_t total;
    uint64_t completed;
    int action;
    int tg;
};

TEST(PageIdlePoll, TheGivenUpStallReportsTheGamesOwnPercentageAndBytes) {
    const StallReportCase cases[] = {
        {"a quarter", 1000, 250, 25, 250},
        {"truncated", 1000, 999, 99, 999},
        {"total unknown", 0, 300, 0, 300},
        {"nothing yet", 1000, 0, 0, 0},
        {"beyond 4 GiB", 0x200000000ull, 0x100000010ull, 50, 0x10},
    };
    for (const StallReportCase& c : cases) {
        PageRetryCounters counters = Counters(kIdlePollLimit, kStallRestartLimit);
        const PageDecision decision = DecideIdlePoll(0, true, RunningGame(c.total, c.completed), counters);
        ASSERT_EQ(PageAction::GiveUpStalled, decision.action) << c.name;
        ASSERT_TRUE(decision.report) << c.name;
        EXPECT_EQ(REPORT_KIND_DOWNLOAD_STALLED, decision.event.kind) << c.name;
        EXPECT_EQ(c.action, decision.event.action) << c.name;
        EXPECT_EQ(c.tg, decision.event.tg) << c.name;
        EXPECT_EQ(0, decision.event.cg) << c.name;
        EXPECT_EQ(0, decision.event.cwdm) << c.name;
    }
}

// The poll's first step: the game task's record and the retry flag.
struct GameEndCase {
    const char* name;
    bool created;
    bool companionPending;
    int state;
    bool fileExists;
    bool retriedBefore;
    int stallRestarts;
    PageAction action;
    ReportEventValues event;  // kind 0 stands for no report
    bool retriedAfter;
};

TEST(PageGameEnd, FailuresRetryOnceSilentlyThenGiveUpAndFinishedFilesComplete) {
    const ReportEventValues source = SourceFailedEvent();
    const ReportEventValues local = LocalFailedEvent();
    const GameEndCase cases[] = {
        {"a running game goes on", true, false, PAGE_TASK_RUNNING, false, false, 0, PageAction::Proceed, kNoReport,
         false},
        {"a running game after three restarts goes on", true, false, PAGE_TASK_RUNNING, false, true, 3,
         PageAction::Proceed, kNoReport, true},
        {"more than three restarts end the task", true, false, PAGE_TASK_RUNNING, false, false, 4,
         PageAction::RetrySilently, kNoReport, true},
        {"a finished file on disk completes", true, false, PAGE_TASK_FINISHED, true, false, 0, PageAction::Complete,
         kNoReport, false},
        {"a finished file not yet on disk is waited for", true, false, PAGE_TASK_FINISHED, false, false, 0,
         PageAction::WaitForFile, kNoReport, false},
        {"finishing leaves a used retry used", true, false, PAGE_TASK_FINISHED, true, true, 0, PageAction::Complete,
         kNoReport, true},
        {"a source failure retries silently", true, false, PAGE_TASK_SOURCE_FAILED, false, false, 0,
         PageAction::RetrySilently, source, true},
        {"a source failure after the retry gives up", true, false, PAGE_TASK_SOURCE_FAILED, false, true, 0,
         PageAction::GiveUpFailed, source, false},
        {"a local failure retries silently", true, false, PAGE_TASK_LOCAL_FAILED, false, false, 0,
         PageAction::RetrySilently, local, true},
        {"a local failure after the retry gives up", true, false, PAGE_TASK_LOCAL_FAILED, false, true, 0,
         PageAction::GiveUpFailed, local, false},
        {"an unknown failure state is not reported", true, false, 3, false, false, 0, PageAction::RetrySilently,
         kNoReport, true},
        {"a task never created fails as local", false, false, PAGE_TASK_RUNNING, false, false, 0,
         PageAction::RetrySilently, local, true},
        {"a task never created after the retry gives up", false, false, PAGE_TASK_RUNNING, false, true, 0,
         PageAction::GiveUpFailed, local, false},
        {"no task yet while the companion comes first", false, true, PAGE_TASK_RUNNING, false, false, 0,
         PageAction::Proceed, kNoReport, false},
    };
    for (const GameEndCase& c : cases) {
        GameTaskFacts game;
        game.created = c.created;
        game.companionPending = c.companionPending;
        game.state = c.state;
        game.fileExists = c.fileExists;
        PageRetryCounters counters = Counters(0, c.stallRestarts, c.retriedBefore);
        const PageDecision decision = DecideGameEnd(game, counters);
        EXPECT_EQ(c.action, decision.action) << c.name;
        EXPECT_EQ(c.event.kind != 0, decision.report) << c.name;
        if (decision.report) {
            EXPECT_TRUE(c.event == decision.event) << c.name;
        }
        EXPECT_EQ(c.retriedAfter, counters.failureRetried) << c.name;
        EXPECT_EQ(c.stallRestarts, counters.stallRestarts) << c.name;
    }
}

TEST(PageGameEnd, AFailureRightAfterARetryPromptsAndTheNextOneRetriesAgain) {
    GameTaskFacts failed = RunningGame();
    failed.state = PAGE_TASK_SOURCE_FAILED;
    PageRetryCounters counters;
    const PageAction expected[] = {PageAction::RetrySilently, PageAction::GiveUpFailed, PageAction::RetrySilently,
                                   PageAction::GiveUpFailed};
    for (PageAction action : expected) EXPECT_EQ(action, DecideGameEnd(failed, counters).action);
}

// One tick of the file wait.
struct FileWaitCase {
    int countBefore;
    bool fileExists;
    PageAction action;
    int countAfter;
};

TEST(PageFileWait, WaitsThirtyOneTicksForAFinishedFileThenGivesUp) {
    const FileWaitCase cases[] = {
        {0, true, PageAction::Complete, 0},
        {0, false, PageAction::KeepWaiting, 1},
        {29, false, PageAction::KeepWaiting, 30},
        {30, false, PageAction::KeepWaiting, 31},
        {30, true, PageAction::Complete, 0},
        {31, false, PageAction::GiveUpFailed, 0},
        {31, true, PageAction::GiveUpFailed, 0},  // the wait was over before the file came
    };
    for (const FileWaitCase& c : cases) {
        int count = c.countBefore;
        EXPECT_EQ(c.action, DecideFileWait(count, c.fileExists)) << c.countBefore << (c.fileExists ? " there" : "");
        EXPECT_EQ(c.countAfter, count) << c.countBefore << (c.fileExists ? " there" : "");
    }
}

TEST(PageFileWait, AFileThatNeverAppearsGivesUpOnTheThirtySecondTick) {
    int count = 0;
    int tick = 0;
    PageAction action = PageAction::KeepWaiting;
    while (action == PageAction::KeepWaiting && tick < 100) {
        action = DecideFileWait(count, false);
        ++tick;
    }
    EXPECT_EQ(PageAction::GiveUpFailed, action);
    EXPECT_EQ(32, tick);
}

// The five values each event of the page carries.
struct EventCase {
    const char* name;
    ReportEventValues event;
    int kind;
    int action;
    int tg;
    int cg;
    int cwdm;
};

TEST(PageReportEvents, CarryTheValuesThePortalCounts) {
    const EventCase cases[] = {
        {"started, box ticked", DownloadStartedEvent(true), 0, 2, 1, 0, 0},
        {"started, box clear", DownloadStartedEvent(false), 0, 2, 0, 0, 0},
        {"continued", DownloadContinuedEvent(), 2, 4, 0, 0, 0},
        {"finished", DownloadFinishedEvent(), 3, 5, 0, 1, 3},
        {"source failed", SourceFailedEvent(), 6, 5, 0, 0, 6},
        {"local failed", LocalFailedEvent(), 5, 5, 0, 0, 5},
        {"stalled", DownloadStalledEvent(42, 0x100000007ull), 4, 42, 7, 0, 0},
        {"checks failed", ChecksFailedEvent(100, 5000), 5, 100, 5000, 0, 0},
    };
    for (const EventCase& c : cases) {
        EXPECT_EQ(c.kind, c.event.kind) << c.name;
        EXPECT_EQ(c.action, c.event.action) << c.name;
        EXPECT_EQ(c.tg, c.event.tg) << c.name;
        EXPECT_EQ(c.cg, c.event.cg) << c.name;
        EXPECT_EQ(c.cwdm, c.event.cwdm) << c.name;
    }
}
