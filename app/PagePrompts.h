// The prompts the download page raises, behind one interface so that the
// page's logic can be driven without modal windows. Each runs modally over
// the page and returns the prompt's result (2 for its action button).
#pragma once

#include "SaveLocation.h"

#include <windows.h>

#include <string>

class CPromptDlg;

class IPagePrompts : public CSaveLocation::IFolderErrorPrompt {
public:
    // The install question, shown without taking the activation.
    virtual int InstallPrompt(HWND page, const std::wstring& text) = 0;
    virtual int VerificationFailed(HWND page) = 0;
    virtual int DownloadFailed(HWND page) = 0;
    virtual int FileDamaged(HWND page) = 0;
    virtual int DirOpenFailed(HWND page) = 0;
    // Ends the prompt that is running, if any: its RunModal returns at once.
    virtual void CloseActive() = 0;
};

// The real prompts.
class CPagePrompts : public IPagePrompts {
public:
    int Show(HWND page, const std::wstring& message) override;  // folder refused
    int InstallPrompt(HWND page, const std::wstring& text) override;
    int VerificationFailed(HWND page) override;
    int DownloadFailed(HWND page) override;
    int FileDamaged(HWND page) override;
    int DirOpenFailed(HWND page) override;
    void CloseActive() override;

private:
    int Run(CPromptDlg& prompt, HWND page);

    CPromptDlg* active_ = nullptr;  // the prompt in RunModal, not owned
};
