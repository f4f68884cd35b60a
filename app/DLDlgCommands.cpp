// The download page's set-up and the commands the user gives it.
#include "app/DLDlg.h"

#include "system/DefaultFolder.h"
#include "engine/DownloadManager.h"
#include "config/DownloaderConfig.h"
#include "app/EngineWiring.h"
#include "engine/FileChecks.h"
#include "app/ProgressFigures.h"
#include "report/StatisticsMgr.h"
#include "system/QuietDriveErrors.h"
#include "system/SystemUtils.h"

namespace {

bool FullCheckSelected(const CDownloaderConfig& config) { return config.GetSafecheck() == L"1"; }

}  // namespace

// 0: nothing usable; 1: a partial download; 2: the complete file. Takes the
// recorded folder as the save folder for 1 and 2, and for a complete-sized
// file with the wrong digest, which is deleted.
int CDLDlg::DetectPreviousDownload() {
    const std::wstring dir = state_.GetDir();
    if (dir.empty()) return 0;
    QuietDriveErrors quiet;  // the recorded folder may be on a drive without media
    ISystemVolumes& volumes = *services_.volumes;
    if (!volumes.Exists(dir)) return 0;
    const std::wstring folder = WithTrailingSeparator(dir);
    const std::wstring target = folder + fileName_;
    if (volumes.Exists(target)) {
        const bool complete = IsFileOfSize(target, Config().GetGameSize());
        // A whole-file digest is checked when the installer is launched, not
        // while the page is set up.
        if (complete && (!Config().GetGameSha256().empty() || !FullCheckSelected(Config()) ||
                         IsFileMd5Valid(target, Config().GetGameMd5()))) {
            location_->SetFolder(folder);
            return 2;
        }
        if (complete) {
            // The right size with the wrong content: it can only be downloaded again.
            ::DeleteFileW(target.c_str());
            location_->SetFolder(folder);
            return 0;
        }
    }
    if (volumes.Exists(target + L".P2P")) {
        location_->SetFolder(folder);
        return 1;
    }
    return 0;
}

void CDLDlg::SetUpPage() {
    const int previous = DetectPreviousDownload();
    if (previous == 0) {
        state_.Create();
        std::wstring folder;
        if (ChooseDefaultFolder(*services_.volumes, *checks_, state_, folder)) {
            location_->SetFolder(WithTrailingSeparator(folder));
        } else {
            location_->SetFolder(std::wstring());
        }
        SetFolderText(location_->Folder());
        changeFolder_.SetVisible(true);
        openFolder_.SetVisible(false);
        RefreshProgress();
        return;
    }

    SetFolderText(location_->Folder());
    if (checkBox_->IsVisible()) checkBox_->SetCheck(state_.GetDlKD(checkBox_->GetCheck()));
    checkBox_->Enable(false);
    // A complete download has nothing left to fetch: the companion stays
    // free for other downloaders.
    CreateInitialTasks(previous == 1);
    if (previous == 1) {
        partialExpected_ = true;
        PauseTasks();
        SetSpeedText(kSpeedAtRest);
        ShowFace(Face::Continue);
        RefreshProgress();
    } else {
        P2spTaskInfo companion{};
        if (companion_.taskId > 0) services_.engine->QueryTask(companion_.taskId, &companion);
        const uint64_t total = Config().GetGameSize() + CompanionTotal(companion, Figures());
        ShowSizeText(total, total);
        ShowPosition(100);
        ShowFace(Face::Install);
    }
}

void CDLDlg::OnStart() {
    Report(DownloadStartedEvent(IsCheckBoxTicked()));
    StartDownload();
}

void CDLDlg::OnContinue() {
    Report(DownloadContinuedEvent());
    // Without a byte of the game yet (the companion came first, or the game
    // failed before its first byte) there is no partial file to miss.
    if (PathExists(TargetPath() + L".p2p") || !partialExpected_) {
        ResumeTasks();
        ShowFace(Face::Pause);
    } else {
        OfferRedownload();
    }
}

void CDLDlg::OfferRedownload() {
    const int answer = RunPrompt([this] { return services_.prompts->FileDamaged(m_hWnd); });
    if (answer != 2 || exitPending_) return;
    if (CStatisticsMgr* statistics = TheStatisticsMgr()) statistics->ReportRedownload();
    partialExpected_ = false;  // from the first byte again
    RecreateTasks();
    ResumeTasks();
}

void CDLDlg::OnOpenFolder() {
    const std::wstring& folder = location_->Folder();
    if (folder.empty() || !PathExists(folder)) {
        RunPrompt([this] { return services_.prompts->DirOpenFailed(m_hWnd); });
        return;
    }
    const std::wstring target = TargetPath();
    if (PathExists(target + L".P2P")) {
        services_.openFolderAndSelect(target + L".P2P");
    } else if (PathExists(target)) {
        services_.openFolderAndSelect(target);
    } else {
        services_.shellOpen(folder, SW_SHOWNORMAL);
    }
}

void CDLDlg::OnChangeFolder() {
    const bool changed = RunPrompt([this] { return location_->ChangeFolder(m_hWnd) ? 1 : 0; }) == 1;
    if (changed) SetFolderText(location_->Folder());
}

void CDLDlg::SetCompanionChoice(bool ticked) {
    if (!checkBox_ || !checkBox_->IsEnabled()) return;
    checkBox_->SetCheck(ticked);
    SendMessage(WM_COMMAND, ID_CHECK_BOX, 0);
}

void CDLDlg::OnCheckBox() {
    RefreshProgress();
    state_.SetDlKD(IsCheckBoxTicked());
}

void CDLDlg::StartDownload() {
    state_.SetDlKD(IsCheckBoxTicked());
    CSaveLocation::StepResult step = CSaveLocation::StepResult::Cancelled;
    RunPrompt([&] {
        step = location_->RunStartFolderStep(m_hWnd);
        return 0;
    });
    if (step != CSaveLocation::StepResult::Accepted || exitPending_) {
        ShowFace(Face::Start);
        return;
    }
    SetFolderText(location_->Folder());
    changeFolder_.SetVisible(false);
    openFolder_.SetVisible(true);

    const std::wstring target = TargetPath();
    const CDownloaderConfig& config = Config();
    bool checked = false;
    bool sound = false;
    if (PathExists(target) && (config.GetSafecheck() != L"0" || !config.GetGameSha256().empty())) {
        checked = true;
        sound = InstallerDigestHolds(target, true);
        if (exitPending_) return;
    }
    state_.SetDir(location_->Folder());
    if (checked && sound) {
        ShowFace(Face::Install);
        ShowPosition(100);
        ShowSizeText(config.GetGameSize(), config.GetGameSize());
        return;
    }
    ReplaceTask(gameTask_, nullptr, config.GetGameDownloadLink(), target);
    StartDownloadTask();
}
