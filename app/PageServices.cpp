#include "app/PageServices.h"

#include "config/DownloaderConfig.h"
#include "engine/DownloadManager.h"
#include "engine/HttpDownload.h"
#include "system/ShellServices.h"
#include "report/StateFile.h"
#include "base/WebAddress.h"

#include <shellapi.h>

#include <cwchar>
#include <vector>

namespace {

CPagePrompts& ThePagePrompts() {
    static CPagePrompts prompts;
    return prompts;
}

CPlatformFolderDialog& TheFolderDialog() {
    static CPlatformFolderDialog dialog;
    return dialog;
}

IPageTaskbar& TheTaskbar() {
    static std::unique_ptr<IPageTaskbar> taskbar = CreatePlatformTaskbar();
    return *taskbar;
}

void ShellOpen(const std::wstring& path, int show) {
    // Failures are silent: the user sees nothing happen and may try again.
    ::ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, show);
}

bool NotifyIcon(DWORD message, NOTIFYICONDATAW& icon) { return ::Shell_NotifyIconW(message, &icon) != FALSE; }

void TrackMenu(HMENU menu, HWND page, POINT at) {
    ::TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, page, nullptr);
}

struct OwnedDialogSearch {
    HWND page;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectOwnedDialog(HWND window, LPARAM lp) {
    auto* search = reinterpret_cast<OwnedDialogSearch*>(lp);
    wchar_t name[16] = {};
    if (::GetWindow(window, GW_OWNER) == search->page && ::GetClassNameW(window, name, 16) > 0 &&
        std::wcscmp(name, L"#32770") == 0) {
        search->found.push_back(window);
    }
    return TRUE;
}

// The standard dialogs (class "#32770") of this thread that the page owns.
std::vector<HWND> DialogsOwnedBy(HWND page) {
    OwnedDialogSearch search{page, {}};
    ::EnumThreadWindows(::GetCurrentThreadId(), CollectOwnedDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void CloseOwnedDialogs(HWND page) {
    // WM_CLOSE makes a dialog press its own cancel button; its modal loop
    // then ends on the dialog's terms, with nothing chosen.
    for (HWND dialog : DialogsOwnedBy(page)) ::PostMessageW(dialog, WM_CLOSE, 0, 0);
}

}  // namespace

PageServices PlatformPageServices() {
    PageServices services;
    CompletePageServices(services);
    return services;
}

void CompletePageServices(PageServices& services) {
    if (!services.engine) services.engine = &CDownloadManager::GetInstance();
    if (!services.config) services.config = &TheDownloaderConfig();
    if (!services.prompts) services.prompts = &ThePagePrompts();
    if (!services.volumes) services.volumes = &PlatformVolumes();
    if (!services.folderDialog) services.folderDialog = &TheFolderDialog();
    if (!services.isOnline) services.isOnline = IsNetworkOnline;
    if (!services.shellOpen) services.shellOpen = ShellOpen;
    if (!services.openFolderAndSelect) services.openFolderAndSelect = OpenFolderAndSelect;
    if (!services.openLink) {
        services.openLink = [](const std::wstring& url) {
            // Configured links reach the shell only when they are web addresses.
            if (IsWebAddress(url)) ShellOpen(url, SW_SHOW);
        };
    }
    if (!services.launchSetup) services.launchSetup = ShellExecuteLauncher;
    if (!services.checkPublisher) services.checkPublisher = CheckPublisher;
    if (services.stateFilePath.empty()) services.stateFilePath = StateFilePath();
    if (services.companionMutexName.empty()) services.companionMutexName = kCompanionMutexName;
    if (!services.notifyIcon) services.notifyIcon = NotifyIcon;
    if (!services.trackMenu) services.trackMenu = TrackMenu;
    if (!services.closeOwnedDialogs) services.closeOwnedDialogs = CloseOwnedDialogs;
    if (!services.taskbar) services.taskbar = &TheTaskbar();
}

PageRetryCounters& ThePageRetryCounters() {
    static PageRetryCounters counters;
    return counters;
}
