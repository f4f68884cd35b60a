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
#include "app/ResponsiveWait.h"
#include "system/SystemUtils.h"
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

namespace {

// A file as it stands: its size and last-write time (0, 0 when missing).
void Stamp(const std::wstring& path, uint64_t* size, uint64_t* written) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    *size = *written = 0;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return;
    *size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    *written = (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

}  // namespace

bool CDLDlg::RunChecking(const std::function<bool(const std::atomic<bool>& cancel)>& work) {
    if (exitPending_) return false;
    ++promptDepth_;  // an exit meanwhile waits for it to end, as for a prompt
    const bool result = RunResponsive(m_hWnd, work, [this] { return exitPending_; });
    --promptDepth_;
    return result && !exitPending_;
}

bool CDLDlg::InstallerDigestHolds(const std::wstring& path, bool md5) {
    const CDownloaderConfig& config = Config();
    if (!IsFileOfSize(path, config.GetGameSize())) return false;
    const std::wstring expected = config.GetGameSha256();
    if (expected.empty()) return !md5 || IsFileMd5Valid(path, config.GetGameMd5());
    FileStamp now;
    now.path = path;
    Stamp(path, &now.size, &now.written);
    if (now == digestHeld_) return true;
    const bool holds =
        RunChecking([&](const std::atomic<bool>& cancel) { return IsFileSha256Valid(path, expected, &cancel); });
    if (holds) digestHeld_ = now;
    return holds;
}

void CDLDlg::CompleteDownload(const std::wstring& path) {
    const CDownloaderConfig& config = Config();
    ShowPosition(100);
    const bool sound = InstallerDigestHolds(path, config.GetSafecheck() == L"1");
    if (exitPending_) return;  // the check was ended by an exit: nothing is known
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

void CDLDlg::OnInstall() {
    const std::wstring target = TargetPath();
    if (!PathExists(target)) {
        OfferRedownload();
        return;
    }
    const CDownloaderConfig& config = Config();
    // What is launched is what the portal published: its whole-file digest
    // and its publisher, when the configuration names them, are checked
    // right before the launch.
    if (!config.GetGameSha256().empty() && !InstallerDigestHolds(target, false)) {
        if (!exitPending_) ShowVerificationFailed();
        return;
    }
    const std::wstring signer = config.GetGameSigner();
    if (!signer.empty()) {
        PublisherVerdict verdict = PublisherVerdict::kNotSigned;
        const auto check = services_.checkPublisher;
        if (!RunChecking([&](const std::atomic<bool>&) {
                verdict = check(target, signer);
                return true;
            }))
            return;
        if (verdict != PublisherVerdict::kTrusted) {
            RunPrompt([this] { return services_.prompts->PublisherRefused(m_hWnd); });
            return;
        }
    }
    services_.shellOpen(target, SW_SHOW);  // the installer runs on its own
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
