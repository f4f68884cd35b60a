// The download page's progress display and the end of a download: the
// checks on the finished installer, the install question and the two
// failure prompts.
#include "app/DLDlg.h"

#include "app/AppMessages.h"
#include "engine/DownloadManager.h"
#include "config/DownloaderConfig.h"
#include "app/EngineWiring.h"
#include "engine/FileChecks.h"
#include "base/FormatText.h"
#include "app/ProgressFigures.h"
#include "report/StatisticsMgr.h"

void CDLDlg::Report(const ReportEventValues& event) {
    if (CStatisticsMgr* statistics = TheStatisticsMgr())
        statistics->ReportEvent(event.kind, event.action, event.tg, event.cg, event.cwdm);
}

void CDLDlg::ShowSizeText(uint64_t done, uint64_t total) { progress_.SetCaption(FormatSizeText(done, total).c_str()); }

void CDLDlg::RefreshProgress() {
    P2spTaskInfo game{};
    P2spTaskInfo companion{};
    if (gameTask_ > 0) services_.engine->QueryTask(gameTask_, &game);
    if (companion_.taskId > 0) services_.engine->QueryTask(companion_.taskId, &companion);
    const RefreshFigures figures =
        ComputeRefreshFigures(game, companion, Config().GetGameSize(), Figures());
    if (figures.show) {
        ShowSizeText(figures.done, figures.total);
        ShowPosition(static_cast<int>(figures.position));
    } else {
        ShowPosition(0);
    }
}

void CDLDlg::CompleteDownload(const std::wstring& path) {
    const CDownloaderConfig& config = Config();
    ShowPosition(100);
    const bool sound = config.GetSafecheck() == L"1"
                           ? IsFileMd5Valid(path, config.GetGameMd5()) && IsFileOfSize(path, config.GetGameSize())
                           : IsFileOfSize(path, config.GetGameSize());
    if (sound) {
        RefreshProgress();
        ShowFace(Face::Install);
        SendMessage(WM_COMMAND, ID_SHOW_DOWNLOADER, 0);
        // The installer starts after this routine, from the message queue.
        if (ShowInstallPrompt() == 2) PostMessage(WM_COMMAND, ID_INSTALL, 0);
    } else {
        ShowVerificationFailed();
    }
    RefreshProgress();
    if (gameTask_ > 0) services_.engine->StopTask(gameTask_);
    ShowFace(Face::Install);
    Report(DownloadFinishedEvent());
}

int CDLDlg::ShowInstallPrompt() {
    const std::wstring text = FormatText(L"%ls下载完成，是否立即安装？", Config().GetGameName().c_str());
    return RunPrompt([&] { return services_.prompts->InstallPrompt(m_hWnd, text); });
}

void CDLDlg::ShowVerificationFailed() {
    P2spTaskInfo game{};
    if (gameTask_ > 0) services_.engine->QueryTask(gameTask_, &game);
    Report(ChecksFailedEvent(TaskPercentage(game), game.completedBytes));
    const int answer = RunPrompt([this] { return services_.prompts->VerificationFailed(m_hWnd); });
    if (exitPending_) return;
    if (answer == 2) {
        SendMessage(WM_COMMAND, ID_OPEN_FOLDER, 0);
    } else if (answer == 3) {
        SendMessage(WM_COMMAND, ID_FEEDBACK, 0);
    }
}

void CDLDlg::ShowDownloadFailed() {
    ShowTaskbarProgress(TaskbarProgress::Error, taskbarPercentage_);
    const int answer = RunPrompt([this] { return services_.prompts->DownloadFailed(m_hWnd); });
    if (answer == 2 && !exitPending_) SendMessage(WM_COMMAND, ID_FEEDBACK, 0);
    PauseTasks();
    SetSpeedText(kSpeedAtRest);
    ShowFace(Face::Continue);
    // The taskbar button keeps showing the failure until the user continues.
    ShowTaskbarProgress(TaskbarProgress::Error, taskbarPercentage_);
}
