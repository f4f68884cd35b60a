#include "StartupWindows.h"

#include "DLDlg.h"
#include "DownloaderConfig.h"
#include "MainDlg.h"
#include "PromptDialogs.h"
#include "SomBitmap.h"

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

const RECT kPromptRect = {0, 0, 404, 201};

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

CDLDlg* TheDownloadPage() { return g_downloadPage; }

void ShowDownloadPage(const std::wstring& title, const std::wstring& skinFile) {
    // A fetched skin image becomes the page's background when it decodes.
    Replace(g_downloadPage, Decodes(skinFile) ? new CDLDlg(skinFile) : new CDLDlg());
    const RECT rect = {0, 0, 400, 100};
    if (g_downloadPage->Create(nullptr, rect, title.c_str(), WS_POPUP | WS_VISIBLE | WS_SYSMENU)) {
        g_downloadPage->ShowWindow(SW_SHOW);
    }
}

void ShowOutdatedPrompt(const std::wstring& title) {
    Replace(g_outdatedPrompt, new COlderVersionDlg());
    g_outdatedPrompt->SetText(L"下载器版本过旧，请重新下载！");
    g_outdatedPrompt->SetLink(TheDownloaderConfig().GetNewVersionDownloaderLink());
    if (g_outdatedPrompt->CreatePrompt(nullptr, WS_POPUP | WS_VISIBLE)) {
        g_outdatedPrompt->SetWindowText(title.c_str());
    }
}

void ShowStartupFailurePrompt(const std::wstring& title) {
    Replace(g_failurePrompt, new CInitialFailedDlg());
    g_failurePrompt->SetText(L"下载器初始化失败，请检测您的网络是否连接正常。可以点击重试，尝试再次初始化!");
    g_failurePrompt->SetRetry(&g_retry);
    if (g_failurePrompt->CreatePrompt(nullptr, WS_POPUP | WS_VISIBLE)) {
        g_failurePrompt->SetWindowText(title.c_str());
    }
}

void RetryStartup() {
    // The previous retry's window decided long ago; only its object is left.
    Replace(g_retriedMainDlg, new CMainDlg());
    const RECT rect = {0, 0, 400, 200};
    g_retriedMainDlg->Create(nullptr, rect, L"", WS_POPUP | WS_VISIBLE);
}
