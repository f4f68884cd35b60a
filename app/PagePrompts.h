// The prompts the download page raises, behind one interface so that the
// page's logic can be driven without modal windows. Each runs modally over
// the page and returns the prompt's result (2 for its action button).
#pragma once

#include "system/SaveLocation.h"

#include <windows.h>

#include <string>
#include <vector>

class CPromptDlg;

class IPagePrompts : public CSaveLocation::IFolderErrorPrompt {
public:
    // The install question, shown without taking the activation.
    virtual int InstallPrompt(HWND page, const std::wstring& text) = 0;
    virtual int VerificationFailed(HWND page) = 0;
    virtual int DownloadFailed(HWND page) = 0;
    virtual int FileDamaged(HWND page) = 0;
    virtual int DirOpenFailed(HWND page) = 0;
    // The installer is not from the expected publisher, and was not run.
    virtual int PublisherRefused(HWND page) = 0;
    // Ends every prompt that is running, nested ones included: each RunModal
    // returns as soon as the loops inside it have.
    virtual void CloseAll() = 0;
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
    int PublisherRefused(HWND page) override;
    void CloseAll() override;

private:
    int Run(CPromptDlg& prompt, HWND page);

    std::vector<CPromptDlg*> running_;  // prompts in RunModal, outermost first; not owned
};
