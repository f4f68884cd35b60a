// The download page's engine tasks: creating, starting, pausing and
// restarting them, the one-second progress poll and the file wait carrying
// out what the page's rules (PageRules.h) decide, and the hand-over from the
// companion setup to the game.
#include "app/DLDlg.h"

#include "engine/DownloadManager.h"
#include "config/DownloaderConfig.h"
#include "app/PageRules.h"
#include "app/ProgressFigures.h"
#include "report/StatisticsMgr.h"
#include "system/SystemUtils.h"

// The page's rules see the engine's task states.
static_assert(int{PAGE_TASK_RUNNING} == int{P2SP_STATE_RUNNING}, "running");
static_assert(int{PAGE_TASK_FINISHED} == int{P2SP_STATE_FINISHED}, "finished");
static_assert(int{PAGE_TASK_SOURCE_FAILED} == int{P2SP_STATE_SOURCE_FAILED}, "source failed");
static_assert(int{PAGE_TASK_LOCAL_FAILED} == int{P2SP_STATE_LOCAL_FAILED}, "local failed");

std::wstring CDLDlg::CompanionSetupPath() const {
    return TempFolderOr(location_->Folder()) + CompanionSetupName();
}

CompanionFigures CDLDlg::Figures() const {
    CompanionFigures figures;
    figures.ticked = IsCheckBoxTicked();
    figures.taskId = companion_.taskId;
    figures.done = companion_.doneFlag != 0;
    figures.recordedSize = state_.GetKDSize();
    figures.setupFileSize = GetFileSize64(CompanionSetupPath());
    return figures;
}

void CDLDlg::ReplaceTask(int& id, HWND owner, const std::wstring& url, const std::wstring& target) {
    // The engine would keep the old task for the same file alongside the new
    // one; it goes first. The partial download stays on disk for the new task.
    if (id > 0) services_.engine->RemoveTask(id);
    id = services_.engine->CreateP2SPTask(owner, url.c_str(), target.c_str());
}

void CDLDlg::CreateInitialTasks(bool withCompanion) {
    const CDownloaderConfig& config = Config();
    gameTask_ = services_.engine->CreateP2SPTask(nullptr, config.GetGameDownloadLink().c_str(), TargetPath().c_str());
    companion_.ticked = IsCheckBoxTicked();
    if (withCompanion) CreateCompanionTask(nullptr);
}

bool CDLDlg::CreateCompanionTask(HWND owner) {
    if (!companion_.ticked) return false;
    // A claim this process already holds serves again: asking the mutex a
    // second time would find it existing and refuse this very process.
    const bool claimedNow = !companionClaim_;
    if (claimedNow) companionClaim_ = ClaimCompanion(services_.companionMutexName.c_str());
    if (!companionClaim_) return false;
    ReplaceTask(companion_.taskId, owner, Config().GetKeldorDownloaderLink(), CompanionSetupPath());
    if (companion_.taskId > 0) return true;
    companion_.taskId = -1;
    if (claimedNow) companionClaim_.reset();
    return false;
}

void CDLDlg::StartDownloadTask() {
    const CDownloaderConfig& config = Config();
    StopTimer(TIMER_PROGRESS);
    ReplaceTask(gameTask_, m_hWnd, config.GetGameDownloadLink(), TargetPath());
    checkBox_->Enable(false);
    companion_.ticked = IsCheckBoxTicked();
    companion_.doneFlag = 0;
    companion_.idleCount = 0;
    bool companionStarted = false;
    if (CreateCompanionTask(m_hWnd)) {
        services_.engine->StartTask(companion_.taskId);
        companionStarted = true;  // the game waits for the companion
    }
    // Without the companion (not chosen, claimed by another downloader, or
    // not creatable) the game starts at once. A game task the engine did not
    // create is not started; the first poll takes it as failed.
    if (!companionStarted && gameTask_ > 0) services_.engine->StartTask(gameTask_);
    StartTimer(TIMER_PROGRESS);
    ShowFace(Face::Pause);
}

void CDLDlg::RecreateTasks() {
    const CDownloaderConfig& config = Config();
    if (IsCompanionPending(companion_)) {
        companion_.doneFlag = 0;
        services_.engine->StopTask(companion_.taskId);
        ReplaceTask(companion_.taskId, nullptr, config.GetKeldorDownloaderLink(), CompanionSetupPath());
        if (companion_.taskId <= 0) {
            companion_.taskId = -1;
            companion_.doneFlag = 1;
        }
    }
    if (gameTask_ > 0) services_.engine->StopTask(gameTask_);
    ReplaceTask(gameTask_, nullptr, config.GetGameDownloadLink(), TargetPath());
}

void CDLDlg::ResumeTasks() {
    const int task = IsCompanionPending(companion_) ? companion_.taskId : gameTask_;
    if (task > 0) services_.engine->StartTask(task);
    StartTimer(TIMER_PROGRESS);
    ShowFace(Face::Pause);
}

void CDLDlg::PauseTasks() {
    if (companion_.taskId > 0) services_.engine->StopTask(companion_.taskId);
    if (gameTask_ > 0) services_.engine->StopTask(gameTask_);
    StopTimer(TIMER_PROGRESS);
    // A pause while waiting for the network must not be undone when it returns.
    StopTimer(TIMER_NETWORK_WAIT);
    ShowFace(Face::Continue);
}

void CDLDlg::StopAll() {
    if (companion_.taskId > 0) services_.engine->StopTask(companion_.taskId);
    if (gameTask_ > 0) services_.engine->StopTask(gameTask_);
    StopTimer(TIMER_PROGRESS);
    StopTimer(TIMER_NETWORK_WAIT);
    StopTimer(TIMER_FILE_WAIT);
    services_.engine->Uninit();
}

void CDLDlg::StartTimer(TimerId id) {
    if (::SetTimer(m_hWnd, id, kTimerPeriodMs, nullptr)) timers_ |= 1u << id;
}

void CDLDlg::StopTimer(TimerId id) {
    if (m_hWnd) ::KillTimer(m_hWnd, id);
    timers_ &= ~(1u << id);
}

void CDLDlg::OnTimer(UINT_PTR id) {
    if (!IsPageTimer(id) || !IsTimerRunning(static_cast<TimerId>(id))) return;
    switch (id) {
        case TIMER_PROGRESS: PollProgress(); break;
        case TIMER_NETWORK_WAIT: OnNetworkWait(); break;
        case TIMER_FILE_WAIT: OnFileWait(); break;
        default: break;
    }
}

GameTaskFacts CDLDlg::GameFacts(const P2spTaskInfo& game) const {
    GameTaskFacts facts;
    facts.created = gameTask_ > 0;
    facts.companionPending = IsCompanionPending(companion_);
    facts.state = game.state;
    facts.totalBytes = game.totalBytes;
    facts.completedBytes = game.completedBytes;
    facts.fileExists = game.state == P2SP_STATE_FINISHED && PathExists(TargetPath());
    return facts;
}

void CDLDlg::PollProgress() {
    PageRetryCounters& counters = ThePageRetryCounters();
    CDownloadManager& engine = *services_.engine;
    P2spTaskInfo game{};
    P2spTaskInfo companion{};
    if (gameTask_ > 0) engine.QueryTask(gameTask_, &game);
    if (companion_.taskId > 0) engine.QueryTask(companion_.taskId, &companion);
    if (game.completedBytes > 0) partialExpected_ = true;

    const GameTaskFacts facts = GameFacts(game);
    const PageDecision end = DecideGameEnd(facts, counters);
    if (end.action != PageAction::Proceed) {
        OnTaskEnded(end);
        return;
    }

    if (companion_.doneFlag == 0) {
        if (UpdateCompanionDone(companion_, companion)) HandOverToGame();
    }

    const uint64_t gameSize = Config().GetGameSize();
    const ProgressFiguresResult figures = ComputePollFigures(game, companion, gameSize, Figures());
    if (IsCompanionPending(companion_)) state_.SetKDSize(companion.totalBytes);

    // The network is asked only when nothing arrives.
    const bool online = figures.speed != 0 || services_.isOnline();
    const PageDecision idle = DecideIdlePoll(figures.speed, online, facts, counters);
    switch (idle.action) {
        case PageAction::WaitForNetwork:
            if (companion_.taskId > 0 && companion_.doneFlag == 0) engine.StopTask(companion_.taskId);
            if (gameTask_ > 0) engine.StopTask(gameTask_);
            StartTimer(TIMER_NETWORK_WAIT);
            StopTimer(TIMER_PROGRESS);
            break;
        case PageAction::RestartStalled:
            PauseTasks();
            RecreateTasks();
            ResumeTasks();
            break;
        case PageAction::GiveUpStalled:
            PauseTasks();
            StopTimer(TIMER_PROGRESS);
            Report(idle.event);
            ShowDownloadFailed();
            break;
        default:
            break;
    }

    SetSpeedText(FormatSpeedText(figures.speed));
    ShowPosition(static_cast<int>(figures.percentage));
    ShowSizeText(figures.done, figures.total);
}

void CDLDlg::OnNetworkWait() {
    if (!services_.isOnline()) return;
    RecreateTasks();
    ResumeTasks();
    StopTimer(TIMER_NETWORK_WAIT);
}

void CDLDlg::OnFileWait() {
    const std::wstring target = TargetPath();
    switch (DecideFileWait(fileWaitCount_, PathExists(target))) {
        case PageAction::GiveUpFailed:
            // The finished file never showed up: the download failed, and the
            // page says so instead of waiting with a pause face and no timer.
            StopTimer(TIMER_FILE_WAIT);
            ShowDownloadFailed();
            break;
        case PageAction::Complete:
            StopTimer(TIMER_FILE_WAIT);
            CompleteDownload(target);
            break;
        default:
            break;
    }
}

void CDLDlg::OnTaskEnded(const PageDecision& decision) {
    StopTimer(TIMER_PROGRESS);
    SetSpeedText(kSpeedAtRest);
    if (decision.action == PageAction::Complete) {
        CompleteDownload(TargetPath());
        return;
    }
    if (decision.action == PageAction::WaitForFile) {
        fileWaitCount_ = 0;
        StartTimer(TIMER_FILE_WAIT);
        return;
    }
    ShowFace(Face::Pause);
    if (decision.report) Report(decision.event);
    if (decision.action == PageAction::RetrySilently) {
        RecreateTasks();
        ResumeTasks();
    } else {
        ShowDownloadFailed();
    }
}

void CDLDlg::HandOverToGame() {
    CDownloadManager& engine = *services_.engine;
    engine.StopTask(companion_.taskId);
    P2spTaskInfo record{};
    engine.QueryTask(companion_.taskId, &record);
    if (record.state == P2SP_STATE_FINISHED) {
        CompanionSetupJob job = MakeCompanionSetupJob(CompanionSetupName(), location_->Folder());
        job.launch = services_.launchSetup;
        job.signer = Config().GetKeldorSigner();
        job.checkPublisher = services_.checkPublisher;
        LaunchCompanionSetup(job);
    }
    if (gameTask_ > 0) engine.StartTask(gameTask_);
}
