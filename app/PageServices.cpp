#include "PageServices.h"

#include "DownloadManager.h"
#include "HttpDownload.h"
#include "ShellServices.h"
#include "StateFile.h"
#include "WebAddress.h"

#include <shellapi.h>

namespace {

CPagePrompts& ThePagePrompts() {
    static CPagePrompts prompts;
    return prompts;
}

CPlatformFolderDialog& TheFolderDialog() {
    static CPlatformFolderDialog dialog;
    return dialog;
}

void ShellOpen(const std::wstring& path, int show) {
    // Failures are silent: the user sees nothing happen and may try again.
    ::ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, show);
}

}  // namespace

PageServices PlatformPageServices() {
    PageServices services;
    services.engine = &CDownloadManager::GetInstance();
    services.prompts = &ThePagePrompts();
    services.volumes = &PlatformVolumes();
    services.folderDialog = &TheFolderDialog();
    services.isOnline = IsNetworkOnline;
    services.shellOpen = ShellOpen;
    services.openFolderAndSelect = OpenFolderAndSelect;
    services.openLink = [](const std::wstring& url) {
        // Configured links reach the shell only when they are web addresses.
        if (IsWebAddress(url)) ShellOpen(url, SW_SHOW);
    };
    services.launchSetup = ShellExecuteLauncher;
    services.stateFilePath = StateFilePath();
    services.companionMutexName = kCompanionMutexName;
    return services;
}

PageRetryCounters& ThePageRetryCounters() {
    static PageRetryCounters counters;
    return counters;
}
