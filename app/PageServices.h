// What the download page needs from the world outside its window: the
// engine, the prompts, the drives, the network and the shell. The program
// uses the platform's; tests put scripted stand-ins in their place.
#pragma once

#include "app/Companion.h"
#include "app/PagePrompts.h"
#include "app/PageRules.h"
#include "app/PageTaskbar.h"
#include "engine/PublisherCheck.h"
#include "system/SaveLocation.h"
#include "system/SystemVolumes.h"

#include <windows.h>

#include <shellapi.h>

#include <functional>
#include <string>

class CDownloadManager;
class CDownloaderConfig;

struct PageServices {
    CDownloadManager* engine = nullptr;                    // not owned
    const CDownloaderConfig* config = nullptr;             // not owned; the game's configuration
    IPagePrompts* prompts = nullptr;                       // not owned
    ISystemVolumes* volumes = nullptr;                     // not owned
    CSaveLocation::IFolderDialog* folderDialog = nullptr;  // not owned
    std::function<bool()> isOnline;
    // The shell's "open" of a file or folder with the given show state.
    std::function<void(const std::wstring& path, int show)> shellOpen;
    std::function<bool(const std::wstring& path)> openFolderAndSelect;
    // A web address for the user's browser.
    std::function<void(const std::wstring& url)> openLink;
    ProcessLauncher launchSetup;
    // Whether a program about to be launched is signed by the named publisher.
    std::function<PublisherVerdict(const std::wstring& path, const std::wstring& publisher)> checkPublisher;
    std::wstring stateFilePath;
    std::wstring companionMutexName;
    // Shell_NotifyIconW: true when the shell took the request.
    std::function<bool(DWORD message, NOTIFYICONDATAW& icon)> notifyIcon;
    // The notification icon's menu at a screen point; a chosen item reaches
    // the page as WM_COMMAND.
    std::function<void(HMENU menu, HWND page, POINT at)> trackMenu;
    // Ends the system's modal dialogs owned by the page (the folder dialog),
    // as their cancel button would.
    std::function<void(HWND page)> closeOwnedDialogs;
    IPageTaskbar* taskbar = nullptr;  // not owned
};

// The platform's services and the process's engine.
PageServices PlatformPageServices();
// Fills what a caller left unset with the platform's.
void CompletePageServices(PageServices& services);

// The process's counters of the restart rules (PageRules.h).
PageRetryCounters& ThePageRetryCounters();
