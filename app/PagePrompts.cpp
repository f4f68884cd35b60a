#include "app/PagePrompts.h"

#include "config/DownloaderConfig.h"
#include "app/PromptDialogs.h"
#include "system/SystemUtils.h"

int CPagePrompts::Run(CPromptDlg& prompt, HWND page) {
    running_.push_back(&prompt);
    const int result = prompt.RunModal(page);
    running_.pop_back();
    return result;
}

void CPagePrompts::CloseAll() {
    // Innermost first. A loop ends when its window is gone, so once the inner
    // loops return, every outer one ends too instead of waiting for the user.
    for (auto it = running_.rbegin(); it != running_.rend(); ++it) {
        if ((*it)->m_hWnd) (*it)->DestroyWindow();
    }
}

int CPagePrompts::Show(HWND page, const std::wstring& message) {
    CDirErrDlg prompt(message);
    return Run(prompt, page);
}

int CPagePrompts::InstallPrompt(HWND page, const std::wstring& text) {
    CInstallGameDlg prompt;
    prompt.SetText(text);
    prompt.SetWindowName(L"DownloadFinished");
    if (!prompt.CreatePrompt(page, WS_POPUP)) return CPromptDlg::kResultOther;
    // Shown without taking the activation, and behind a full-screen
    // application rather than over it.
    const HWND after = IsFullScreenAppInForeground() ? HWND_BOTTOM : HWND_TOP;
    ::SetWindowPos(prompt.m_hWnd, after, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    return Run(prompt, page);
}

int CPagePrompts::VerificationFailed(HWND page) {
    CFileCheckFailedDlg prompt;
    return Run(prompt, page);
}

int CPagePrompts::DownloadFailed(HWND page) {
    CDownLoadFailedDlg prompt;
    if (!prompt.CreatePrompt(page, WS_POPUP | WS_VISIBLE)) return CPromptDlg::kResultOther;
    if (IsFullScreenAppInForeground()) {
        ::SetWindowPos(prompt.m_hWnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
    }
    return Run(prompt, page);
}

int CPagePrompts::FileDamaged(HWND page) {
    CFileDamagedDlg prompt;
    return Run(prompt, page);
}

int CPagePrompts::DirOpenFailed(HWND page) {
    CDirOpenFailedDlg prompt;
    return Run(prompt, page);
}

int CPagePrompts::PublisherRefused(HWND page) {
    CPublisherRefusedDlg prompt;
    return Run(prompt, page);
}
