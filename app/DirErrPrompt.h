// The folder-error prompt as the save-location checks ask for it.
#pragma once

#include "system/SaveLocation.h"

class CDirErrPrompt : public CSaveLocation::IFolderErrorPrompt {
public:
    // Runs a CDirErrDlg with message modally over owner; 2 asks for another
    // folder.
    int Show(HWND owner, const std::wstring& message) override;
};
