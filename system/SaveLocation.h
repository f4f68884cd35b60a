// The save folder of the download page and the two ways it is chosen: the
// change-folder link and the folder step of the start button. A refused
// folder is reported through the folder-error prompt, whose change-folder
// answer opens the folder dialog again.
#pragma once

#include "system/FolderChecks.h"

#include <windows.h>

#include <string>

// The platform folder dialog, owned by owner. False when cancelled.
bool BrowseForFolder(HWND owner, std::wstring& path);

class CSaveLocation {
public:
    // Answer of the folder-error prompt that asks for another folder.
    static const int kChangeFolderAnswer = 2;

    class IFolderDialog {
    public:
        virtual ~IFolderDialog() = default;
        virtual bool Browse(HWND owner, std::wstring& path) = 0;
    };
    class IFolderErrorPrompt {
    public:
        virtual ~IFolderErrorPrompt() = default;
        // Shows the message; returns the prompt's result (2 = change folder).
        virtual int Show(HWND owner, const std::wstring& message) = 0;
    };

    enum class StepResult { Accepted, Cancelled, Refused };

    CSaveLocation(CFolderChecks& checks, IFolderDialog& dialog, IFolderErrorPrompt& prompt)
        : checks_(checks), dialog_(dialog), prompt_(prompt) {}

    const std::wstring& Folder() const { return folder_; }
    void SetFolder(const std::wstring& folder) { folder_ = folder; }

    // The change-folder link: dialog, checks, and on a refusal answered with
    // "change folder" the dialog again. Returns true when the folder changed.
    bool ChangeFolder(HWND owner);

    // The start button's folder step: the current folder is checked first,
    // without a dialog. Accepted means the download may start.
    StepResult RunStartFolderStep(HWND owner);

private:
    // Checks candidate; on a refusal shows the prompt and reports whether the
    // user asked for another folder.
    bool Accept(HWND owner, const std::wstring& candidate, bool& askAgain);

    CFolderChecks& checks_;
    IFolderDialog& dialog_;
    IFolderErrorPrompt& prompt_;
    std::wstring folder_;
};

// The platform folder dialog as the seam's real implementation.
class CPlatformFolderDialog : public CSaveLocation::IFolderDialog {
public:
    bool Browse(HWND owner, std::wstring& path) override { return BrowseForFolder(owner, path); }
};
