// The download page: the one working window of the program. It shows the
// game, the save folder, the progress and speed, the action button with its
// four faces and the companion offer; it owns the game and companion tasks,
// polls them every second, restarts stalled downloads, hands a finished
// download to completion and install, and hides to the notification area
// when closed. The program ends from the notification icon's menu.
#pragma once

#include "app/Companion.h"
#include "system/FolderChecks.h"
#include "ui/GdiHelpers.h"
#include "p2sp/P2spApi.h"
#include "app/PageRules.h"
#include "app/PageServices.h"
#include "app/ProgressFigures.h"
#include "report/ReportEvents.h"
#include "system/SaveLocation.h"
#include "base/ScopedHandle.h"
#include "ui/SomBitmap.h"
#include "ui/SomButton4.h"
#include "ui/SomCheckBox.h"
#include "ui/SomTextWnd.h"
#include "ui/SomWndManager.h"
#include "report/StateFile.h"
#include "ui/TextProgress.h"
#include "webview/WebPane.h"
#include "winlayer/WindowImpl.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

class CDLDlg : public CWindowImplBase, public CSomWndManager {
public:
    static const int kWidth = 679;
    static const int kHeight = 419;
    // Element ids; the buttons' and links' ids are also their commands.
    enum ControlId {
        ID_LABEL = 0,
        ID_TITLE = 5,
        ID_CHECK_BOX = 7,
        ID_FOLDER_LABEL_TEXT = 9,
        ID_START = 10,
        ID_CONTINUE = 11,
        ID_PAUSE = 12,
        ID_CLOSE = 13,
        ID_MINIMIZE = 14,
        ID_CHANGE_FOLDER = 15,
        ID_OPEN_FOLDER = 16,
        ID_FEEDBACK = 17,
        ID_INSTALL = 18,
        ID_PROMOTION = 19,
        ID_FOLDER_TEXT = 23,
        ID_PROGRESS = 4,
    };
    // Texts that share an id with a button (only the buttons issue commands).
    static const int ID_SPEED_TEXT = 10;
    static const int ID_SAVE_LABEL_TEXT = 11;

    enum TimerId { TIMER_PROGRESS = 0, TIMER_NETWORK_WAIT = 1, TIMER_FILE_WAIT = 2 };
    static bool IsPageTimer(UINT_PTR id) { return id <= TIMER_FILE_WAIT; }
    static const UINT kTimerPeriodMs = 1000;
    static const UINT WM_TRAYICON = WM_USER + 1001;  // 2025
    static const UINT kTrayIconId = 32513;

    // The action button's faces.
    enum class Face { Start, Pause, Continue, Install };

    // With the built-in background (resource 105).
    CDLDlg();
    // With a background image file (the fetched skin).
    explicit CDLDlg(const std::wstring& backgroundFile);
    ~CDLDlg() override;

    // Replaces the platform services; before Create.
    void SetServices(const PageServices& services) { services_ = services; }

    CWndClassInfo& GetWndClassInfo() override;
    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    void DrawBackground(HDC dc, const RECT* rect) override;

    // Brings the page into view: behind a full-screen application without
    // taking the focus, otherwise restored and raised above all windows.
    void RestoreWindow();

    // What a click on the companion check box does, for a given state.
    void SetCompanionChoice(bool ticked);

    // What the page shows and holds, for the program's tests.
    bool UsesBuiltInBackground() const { return builtInBackground_; }
    bool HasTrayIcon() const { return trayIcon_; }
    Face CurrentFace() const { return face_; }
    const std::wstring& SaveFolder() const { return location_->Folder(); }
    int GameTaskId() const { return gameTask_; }
    const CompanionState& Companion() const { return companion_; }
    bool IsTimerRunning(TimerId id) const { return (timers_ & (1u << id)) != 0; }
    bool IsCheckBoxTicked() const { return checkBox_ && checkBox_->GetCheck(); }
    bool IsCheckBoxEnabled() const { return checkBox_ && checkBox_->IsEnabled(); }
    std::wstring SpeedText() const { return speedText_; }
    std::wstring SizeText() const { return progress_.GetCaption(); }
    int ProgressPosition() const { return progress_.GetPosition(); }
    std::wstring FolderText() const { return folderText_; }
    bool IsChangeFolderShown() const { return changeFolder_.IsVisible(); }
    bool IsOpenFolderShown() const { return openFolder_.IsVisible(); }
    // Folder + the download's file name.
    std::wstring TargetPath() const;
    // The game's configuration, from the page's services.
    const CDownloaderConfig& Config() const;
    // File name of the companion setup's link; empty when none is offered.
    std::wstring CompanionSetupName() const;
    bool IsExitPending() const { return exitPending_; }
    const CWebPane& WebPane() const { return webPane_; }

private:
    // Window and layout.
    void OnCreate();
    void CreateFonts();
    void LayoutControls();
    void ShowFace(Face face);
    void SetSpeedText(const std::wstring& text);
    void SetFolderText(const std::wstring& markup);
    void OnCommand(WORD id);

    // The notification area and the end of the program.
    void MinimizeToTray();
    // NIM_ADD or NIM_MODIFY of the page's icon; true when the shell took it.
    bool NotifyTrayIcon(DWORD message);
    void OnTrayIcon(WPARAM wp, LPARAM lp);
    // Explorer started again: its notification area is empty.
    void OnTaskbarCreated();
    void RemoveTrayIcon();
    void Exit();

    // The taskbar button's progress: its state follows the action face, its
    // value the progress bar; shown once the shell has made the button.
    void OnTaskbarButtonCreated();
    void ShowTaskbarProgress(TaskbarProgress state, unsigned percentage);
    // The progress bar's position, and the taskbar button's with it.
    void ShowPosition(int percentage);

    // Set-up and the user's commands.
    int DetectPreviousDownload();
    void SetUpPage();
    void OnStart();
    void OnContinue();
    void OnInstall();
    void OnOpenFolder();
    void OnChangeFolder();
    void OnCheckBox();
    void OfferRedownload();

    // The tasks.
    // Removes the task id names (when there is one) and creates it afresh.
    void ReplaceTask(int& id, HWND owner, const std::wstring& url, const std::wstring& target);
    // The game task and, for a partial download, the companion's; no owner.
    void CreateInitialTasks(bool withCompanion);
    // Creates the companion task when the box is ticked and the companion is
    // this process's to download. The claim is taken only for a task that
    // exists: a refused task leaves the companion to other downloaders.
    bool CreateCompanionTask(HWND owner);
    void StartDownload();
    void StartDownloadTask();
    void RecreateTasks();
    void ResumeTasks();
    void PauseTasks();
    void StopAll();
    void StartTimer(TimerId id);
    void StopTimer(TimerId id);
    void OnTimer(UINT_PTR id);
    void PollProgress();
    void OnNetworkWait();
    void OnFileWait();
    // The game task's record as the page's rules take it.
    GameTaskFacts GameFacts(const P2spTaskInfo& game) const;
    void OnTaskEnded(const PageDecision& decision);
    void HandOverToGame();
    std::wstring CompanionSetupPath() const;
    CompanionFigures Figures() const;

    // An event for the statistics, when the reporter exists.
    static void Report(const ReportEventValues& event);

    // Progress display.
    void RefreshProgress();
    void ShowSizeText(uint64_t done, uint64_t total);

    // Completion.
    void CompleteDownload(const std::wstring& path);
    void ShowVerificationFailed();
    // The installer's size and digest: the whole file's SHA-256 when the
    // configuration names one, else (with `md5`) the MD5 of its last 50 MiB.
    // A whole-file digest is read on a worker while the page stays
    // responsive; a file that passed is not read again until it changes.
    bool InstallerDigestHolds(const std::wstring& path, bool md5);
    // Runs a check off the window thread (ResponsiveWait.h); an exit chosen
    // meanwhile ends it, as it ends a prompt. False when it was ended.
    bool RunChecking(const std::function<bool(const std::atomic<bool>& cancel)>& work);
    void ShowDownloadFailed();
    int ShowInstallPrompt();
    // Counts the prompt as running, so that an exit chosen meanwhile waits
    // for the routine that raised it.
    template <typename Fn>
    int RunPrompt(Fn show);

    PageServices services_;
    CStateFile state_;
    std::unique_ptr<CFolderChecks> checks_;
    std::unique_ptr<CSaveLocation> location_;

    std::unique_ptr<CSomBitmap> background_;
    bool builtInBackground_;
    CSomBitmap startImage_;
    CSomBitmap continueImage_;
    CSomBitmap pauseImage_;
    CSomBitmap installImage_;
    CSomBitmap checkBoxImage_;

    CSomButton4 closeButton_;
    CSomButton4 minimizeButton_;
    CSomButton4 feedbackButton_;
    CSomButton4 startButton_;
    CSomButton4 continueButton_;
    CSomButton4 pauseButton_;
    CSomButton4 installButton_;
    CSomTextWnd title_;
    CSomTextWnd promotion_;
    CSomTextWnd openFolder_;
    CSomTextWnd changeFolder_;
    CSomTextWnd checkLabel_;
    CSomTextWnd version_;
    CSomTextWnd folder_;
    CSomTextWnd progressLabel_;
    CSomTextWnd saveLabel_;
    CSomTextWnd speed_;
    std::unique_ptr<CSomCheckBox> checkBox_;
    CTextProgress progress_;
    CWebPane webPane_;

    ScopedFont regularFont_;
    ScopedFont underlinedFont_;
    ScopedFont boldUnderlinedFont_;
    ScopedFont titleFont_;

    std::wstring fileName_;
    std::wstring speedText_;
    std::wstring folderText_;
    Face face_ = Face::Start;
    int gameTask_ = -1;
    CompanionState companion_;
    // The companion mutex, from the first companion task to the end of the
    // process (owned).
    ScopedHandle companionClaim_;
    // A partial game file must be on disk: one was found at set-up, or the
    // game task has reported bytes. Before that a missing ".p2p" is no damage.
    bool partialExpected_ = false;
    int fileWaitCount_ = 0;
    unsigned timers_ = 0;
    bool trayIcon_ = false;
    bool taskbarAttached_ = false;
    TaskbarProgress taskbarState_ = TaskbarProgress::None;
    unsigned taskbarPercentage_ = 0;
    // The installer file whose whole-file digest held, as it was then.
    struct FileStamp {
        std::wstring path;
        uint64_t size = 0;
        uint64_t written = 0;
        bool operator==(const FileStamp& o) const { return path == o.path && size == o.size && written == o.written; }
    };
    FileStamp digestHeld_;
    int promptDepth_ = 0;    // prompts running over the page
    int dispatchDepth_ = 0;  // page messages being handled, nested ones included
    bool exitPending_ = false;
    bool exited_ = false;
};

template <typename Fn>
int CDLDlg::RunPrompt(Fn show) {
    if (exitPending_) return 4;  // the program is ending: nothing more is asked
    ++promptDepth_;
    const int result = show();
    --promptDepth_;
    return exitPending_ ? 4 : result;  // an exit closed it: no answer stands
}

// The page's ten-vertex window region.
HRGN CreatePageRegion();
