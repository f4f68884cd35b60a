#include "app/PageRules.h"

unsigned GamePercentage(const GameTaskFacts& game) {
    if (game.totalBytes == 0) return 0;
    return static_cast<unsigned>(game.completedBytes * 100 / game.totalBytes);
}

namespace {

PageDecision Decision(PageAction action) {
    PageDecision decision;
    decision.action = action;
    return decision;
}

PageDecision Reported(PageAction action, const ReportEventValues& event) {
    PageDecision decision = Decision(action);
    decision.report = true;
    decision.event = event;
    return decision;
}

}  // namespace

PageDecision DecideGameEnd(const GameTaskFacts& game, PageRetryCounters& counters) {
    // Without a task the engine refused it (or is not bound): a failure now,
    // not a download that stalls at zero speed until the restarts give up.
    // While the companion comes first the game has not been asked for yet.
    const int state = !game.created && !game.companionPending ? PAGE_TASK_LOCAL_FAILED : game.state;
    const bool running = state == PAGE_TASK_RUNNING && counters.stallRestarts <= kStallRestartLimit;
    if (running) return Decision(PageAction::Proceed);

    if (state == PAGE_TASK_FINISHED) {
        return Decision(game.fileExists ? PageAction::Complete : PageAction::WaitForFile);
    }

    PageDecision decision;
    if (!counters.failureRetried) {
        counters.failureRetried = true;
        decision.action = PageAction::RetrySilently;
    } else {
        counters.failureRetried = false;
        decision.action = PageAction::GiveUpFailed;
    }
    if (state == PAGE_TASK_SOURCE_FAILED) {
        decision.report = true;
        decision.event = SourceFailedEvent();
    } else if (state == PAGE_TASK_LOCAL_FAILED) {
        decision.report = true;
        decision.event = LocalFailedEvent();
    }
    return decision;
}

PageDecision DecideIdlePoll(uint64_t speed, bool online, const GameTaskFacts& game, PageRetryCounters& counters) {
    if (speed != 0) {
        counters.idlePolls = 0;
        counters.stallRestarts = 0;
        return Decision(PageAction::Proceed);
    }
    // Offline polls are not idle polls: the network wait takes over.
    if (!online) return Decision(PageAction::WaitForNetwork);
    if (++counters.idlePolls <= kIdlePollLimit) return Decision(PageAction::Proceed);
    counters.idlePolls = 0;
    if (++counters.stallRestarts <= kStallRestartLimit) return Decision(PageAction::RestartStalled);
    counters.stallRestarts = 0;
    return Reported(PageAction::GiveUpStalled, DownloadStalledEvent(GamePercentage(game), game.completedBytes));
}

PageAction DecideFileWait(int& waitCount, bool fileExists) {
    if (waitCount > kFileWaitLimit) {
        waitCount = 0;
        return PageAction::GiveUpFailed;
    }
    if (fileExists) {
        waitCount = 0;
        return PageAction::Complete;
    }
    ++waitCount;
    return PageAction::KeepWaiting;
}
