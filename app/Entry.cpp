#include "app/Entry.h"

#include "app/AppMessages.h"
#include "winlayer/AppModule.h"
#include "config/DownloaderConfig.h"
#include "base/ScopedHandle.h"

#include <commctrl.h>
#include <objbase.h>

HINSTANCE g_hInstance = nullptr;

bool AcceptCommandLine(const wchar_t*) { return true; }

bool IsAnotherCopyRunning(HANDLE mutex, DWORD lastError) {
    if (lastError == ERROR_ACCESS_DENIED) return true;
    return mutex != nullptr && lastError == ERROR_ALREADY_EXISTS;
}

void AskRunningCopyToShow(HWND page) {
    // Sent, so the page is in view when this copy ends; but a running copy
    // that no longer answers (hung, or still dying after a kill) must not
    // keep this one alive behind it, unseen, for good.
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(page, WM_COMMAND, ID_SHOW_DOWNLOADER, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                          kShowRequestTimeoutMs, &ignored);
}

int DownloaderMain(HINSTANCE instance, LPWSTR commandLine, int showCommand) {
    g_hInstance = instance;
    if (!AcceptCommandLine(commandLine)) return 0;

    ::CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_BAR_CLASSES;
    ::InitCommonControlsEx(&controls);
    TheAppModule().Init(instance);

    // The mutex is held until the program ends; its name is the identifier.
    const std::wstring& gameId = TheDownloaderConfig().GetGameId();
    ScopedHandle mutex(::CreateMutexW(nullptr, FALSE, gameId.c_str()));
    const DWORD lastError = ::GetLastError();
    if (IsAnotherCopyRunning(mutex.get(), lastError)) {
        mutex.reset();
        // The running copy's download page is registered under the identifier.
        const HWND page = ::FindWindowW(gameId.c_str(), nullptr);
        if (page) AskRunningCopyToShow(page);
        return 0;
    }

    Run(commandLine, showCommand);

    TheAppModule().Term();
    ::CoUninitialize();
    return 0;
}
