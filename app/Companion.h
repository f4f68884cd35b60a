// The companion offer: the cross-process claim on its download, the per-poll
// check that decides when the page stops waiting for it, and the silent launch
// of its setup on a worker thread.
#pragma once

#include "engine/PublisherCheck.h"

#include "p2sp/P2spApi.h"
#include "base/ScopedHandle.h"

#include <functional>
#include <string>
#include <thread>

// Only one downloader at a time, across all games, downloads the companion.
extern const wchar_t kCompanionMutexName[];  // "keldordownloading_{947FA079-...}"

// Creates the companion mutex afresh. When this process may download the
// companion, returns the open mutex: the claim lasts while it stays open.
// Otherwise returns no handle; a handle to a mutex another downloader made is
// closed at once, so it does not keep the name alive after that one is gone.
ScopedHandle ClaimCompanion(const wchar_t* mutexName = kCompanionMutexName);

// The page's companion members.
struct CompanionState {
    bool ticked = false;   // the offer's check box
    int taskId = -1;       // engine task id, -1 when none
    int doneFlag = 0;      // 1 once finished, failed or given up
    int idleCount = 0;     // consecutive polls at zero speed
};

// Box ticked, a task, and still awaited.
bool IsCompanionPending(const CompanionState& state);

// More than this many consecutive idle polls give the companion up.
const int kCompanionIdleLimit = 5;

// The per-poll check with the companion's fresh record. Does nothing unless
// the companion is pending. Returns true when this call set the done flag:
// the page then hands over to the game.
bool UpdateCompanionDone(CompanionState& state, const P2spTaskInfo& record);

// One shell launch, as the setup is started.
struct ShellLaunch {
    std::wstring file;        // full path of the program
    std::wstring parameters;  // "/S"
    std::wstring directory;   // working folder
    int show = 0;             // SW_HIDE
};
// Starts the program; true when the shell accepted it. Never waits for it.
using ProcessLauncher = std::function<bool(const ShellLaunch&)>;
// ShellExecuteExW with SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI; the
// process handle is closed at once.
bool ShellExecuteLauncher(const ShellLaunch& launch);

// What the launcher thread needs, captured on the user-interface thread.
struct CompanionSetupJob {
    CompanionSetupJob(std::wstring name = std::wstring(), std::wstring folder = std::wstring(),
                      ProcessLauncher launcher = ShellExecuteLauncher)
        : setupName(std::move(name)), tempFolder(std::move(folder)), launch(std::move(launcher)) {}

    std::wstring setupName;    // file name of the companion link
    std::wstring tempFolder;   // ends in "\"
    ProcessLauncher launch = ShellExecuteLauncher;
    // When not empty, the setup runs only when it is signed by this publisher
    // (KeldorSigner); one that is not is left alone, as silently as it runs.
    std::wstring signer;
    std::function<PublisherVerdict(const std::wstring& path, const std::wstring& publisher)> checkPublisher =
        CheckPublisher;
};

// The page's job: the configured setup name and the temporary folder (the
// save folder when the platform names none).
CompanionSetupJob MakeCompanionSetupJob(const std::wstring& setupName, const std::wstring& saveFolder);

// Runs the setup silently ("/S", hidden) when its file exists and reports the
// launch once (ReportCompanionSetup(1)) when the shell accepted it. Returns
// whether it was launched. Runs on the calling thread.
bool RunCompanionSetup(const CompanionSetupJob& job);

// RunCompanionSetup on a new worker thread, inside a single-threaded COM
// apartment of its own. The thread is detached unless worker is given (tests
// join it).
void LaunchCompanionSetup(CompanionSetupJob job, std::thread* worker = nullptr);
