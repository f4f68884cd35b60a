// The download page's rules, free of window code: what the one-second
// progress poll and the file-wait tick do with what the engine reports.
// The page gathers the facts into plain records, asks here, and carries the
// answer out (stopping and recreating tasks, timers, prompts, reports).
//
// - A game task that is not running has ended: finished, its file goes to
//   completion, or is waited for when not yet on disk; failed, it is
//   reported and retried once silently, and the next failure gives up.
// - A game task the engine never created is a failure at once (unless the
//   companion still comes first and the game has not been asked for yet).
// - Zero speed offline stops the tasks until the network returns.
// - Zero speed online: after more than 90 idle polls the download restarts,
//   at most 3 times in a row; the next stall gives up and is reported.
//   Any speed starts both counts over.
// - The file wait gives up after more than 30 ticks without the file.
#pragma once

#include "report/ReportEvents.h"

#include <cstdint>

// The counters of the restart rules. They belong to the process, not to one
// page, so they survive the page being built again.
struct PageRetryCounters {
    int idlePolls = 0;            // consecutive polls at zero speed while online
    int stallRestarts = 0;        // restarts made because of idle polls
    bool failureRetried = false;  // the one silent retry after a failed task is used
};

// Idle polls before a stalled download is restarted, and restarts before
// the download is given up.
const int kIdlePollLimit = 90;
const int kStallRestartLimit = 3;
// Ticks the file-wait timer waits for a finished file to appear.
const int kFileWaitLimit = 30;

// The engine's task states the rules tell apart (its P2SP_STATE_* values).
enum PageTaskState : int {
    PAGE_TASK_RUNNING = 0,
    PAGE_TASK_FINISHED = 1,
    PAGE_TASK_SOURCE_FAILED = 5,
    PAGE_TASK_LOCAL_FAILED = 6,
};

// The game task as one poll sees it.
struct GameTaskFacts {
    bool created = false;           // the engine gave the page a game task id
    bool companionPending = false;  // the companion download still comes first
    int state = PAGE_TASK_RUNNING;  // the engine's record (zero without a task)
    uint64_t totalBytes = 0;        // the engine's record, 0 while unknown
    uint64_t completedBytes = 0;
    // The downloaded file is on disk; the page looks only for a finished task.
    bool fileExists = false;
};

// What the page does.
enum class PageAction {
    Proceed,         // nothing ends: go on with the poll and show the figures
    WaitForNetwork,  // stop the tasks, start the network wait, stop the poll
    RestartStalled,  // pause, recreate and resume the tasks
    GiveUpStalled,   // pause, stop the poll, report, the download-failed prompt
    Complete,        // the finished file is there: completion
    WaitForFile,     // finished, the file not yet there: start the file wait
    RetrySilently,   // the face shows pause; recreate and resume the tasks
    GiveUpFailed,    // the download-failed prompt
    KeepWaiting,     // the file wait goes on
};

struct PageDecision {
    PageAction action = PageAction::Proceed;
    bool report = false;      // send event before carrying the action out
    ReportEventValues event;  // set when report is
};

// The game's own percentage: completed * 100 / total, 0 while the total is
// unknown.
unsigned GamePercentage(const GameTaskFacts& game);

// The poll's first step: has the game task ended, and what follows. Proceed
// while it runs. A failure uses or clears counters.failureRetried.
PageDecision DecideGameEnd(const GameTaskFacts& game, PageRetryCounters& counters);

// The poll's speed step, once the game runs: speed is the poll's total speed
// (game and companion), online the network's state. Counts idle polls and
// restarts in counters. Proceed when nothing is to be done.
PageDecision DecideIdlePoll(uint64_t speed, bool online, const GameTaskFacts& game, PageRetryCounters& counters);

// One tick of the file wait: waitCount is the ticks so far (updated here);
// fileExists whether the finished file is on disk now. Complete, GiveUpFailed
// or KeepWaiting.
PageAction DecideFileWait(int& waitCount, bool fileExists);
