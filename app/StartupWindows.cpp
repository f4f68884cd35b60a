#include "app/StartupWindows.h"

#include "app/DLDlg.h"
#include "config/DownloaderConfig.h"
#include "app/MainDlg.h"
#include "app/PromptDialogs.h"
#include "ui/SomBitmap.h"

namespace {

// These live until the process ends and are never destroyed with the static
// objects (their windows would outlive the skin they draw with): the page,
// the latest failure prompt, the latest start-up window made by a retry and
// the outdated prompt. A newer failure prompt or retried window replaces
// (deletes) the older one, whose window is gone by then.
CDLDlg* g_downloadPage = nullptr;
CInitialFailedDlg* g_failurePrompt = nullptr;
CMainDlg* g_retriedMainDlg = nullptr;
COlderVersionDlg* g_outdatedPrompt = nullptr;

template <typename T>
void Replace(T*& slot, T* next) {
    delete slot;
    slot = next;
}

HWND RunCreation(const std::function<HWND()>& create) { return create(); }

StartupWindowCreation& Creation() {
    static StartupWindowCreation creation = &RunCreation;
    return creation;
}

// Makes a window through the creation function; without it the program has
// nothing left on screen and ends.
HWND MakeOrQuit(const std::function<HWND()>& create) {
    const HWND window = Creation()(create);
    if (!window) ::PostQuitMessage(0);
    return window;
}

class StartupRetry : public IStartupRetry {
public:
    void RetryStartup() override { ::RetryStartup(); }
};
StartupRetry g_retry;

bool Decodes(const std::wstring& file) {
    if (file.empty() || ::GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    CSomBitmap probe(file.c_str(), 1);
    return probe.GetHandle() != nullptr;
}

}  // namespace

StartupWindowCreation SetStartupWindowCreation(StartupWindowCreation creation) {
    StartupWindowCreation previous = Creation();
    Creation() = creation ? std::move(creation) : StartupWindowCreation(&RunCreation);
    return previous;
}

CDLDlg* TheDownloadPage() { return g_downloadPage; }

bool ShowDownloadPage(const std::wstring& title, const std::wstring& skinFile) {
    // A fetched skin image becomes the page's background when it decodes.
    Replace(g_downloadPage, Decodes(skinFile) ? new CDLDlg(skinFile) : new CDLDlg());
    CDLDlg* const page = g_downloadPage;
    const RECT rect = {0, 0, 400, 100};
    const HWND window =
        MakeOrQuit([&] { return page->Create(nullptr, rect, title.c_str(), WS_POPUP | WS_VISIBLE | WS_SYSMENU); });
    if (window) page->ShowWindow(SW_SHOW);
    return window != nullptr;
}

bool ShowOutdatedPrompt(const std::wstring& title) {
    Replace(g_outdatedPrompt, new COlderVersionDlg());
    COlderVersionDlg* const prompt = g_outdatedPrompt;
    prompt->SetText(L"下载器版本过旧，请重新下载！");
    prompt->SetLink(TheDownloaderConfig().GetNewVersionDownloaderLink());
    const HWND window = MakeOrQuit([&] { return prompt->CreatePrompt(nullptr, WS_POPUP | WS_VISIBLE); });
    if (window) prompt->SetWindowText(title.c_str());
    return window != nullptr;
}

bool ShowStartupFailurePrompt(const std::wstring& title) {
    Replace(g_failurePrompt, new CInitialFailedDlg());
    CInitialFailedDlg* const prompt = g_failurePrompt;
    prompt->SetText(L"下载器初始化失败，请检测您的网络是否连接正常。可以点击重试，尝试再次初始化!");
    prompt->SetRetry(&g_retry);
    const HWND window = MakeOrQuit([&] { return prompt->CreatePrompt(nullptr, WS_POPUP | WS_VISIBLE); });
    if (window) prompt->SetWindowText(title.c_str());
    return window != nullptr;
}

bool RetryStartup() {
    // The previous retry's window decided long ago; only its object is left.
    Replace(g_retriedMainDlg, new CMainDlg());
    CMainDlg* const startup = g_retriedMainDlg;
    const RECT rect = {0, 0, 400, 200};
    return MakeOrQuit([&] { return startup->Create(nullptr, rect, L"", WS_POPUP | WS_VISIBLE); }) != nullptr;
}
