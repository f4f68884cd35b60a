#include "system/SaveLocation.h"

#include <shlobj.h>

bool BrowseForFolder(HWND owner, std::wstring& path) {
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.lpszTitle = L"选择路径";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE item = ::SHBrowseForFolderW(&info);
    if (!item) return false;
    wchar_t chosen[MAX_PATH] = {};
    const BOOL ok = ::SHGetPathFromIDListW(item, chosen);
    ::CoTaskMemFree(item);
    if (!ok) return false;
    path = chosen;
    return true;
}

bool CSaveLocation::Accept(HWND owner, const std::wstring& candidate, bool& askAgain) {
    askAgain = false;
    const FolderVerdict verdict = checks_.Check(candidate);
    if (verdict == FolderVerdict::Accepted) {
        folder_ = WithTrailingSeparator(candidate);
        return true;
    }
    askAgain = prompt_.Show(owner, FolderVerdictMessage(verdict)) == kChangeFolderAnswer;
    return false;
}

bool CSaveLocation::ChangeFolder(HWND owner) {
    for (;;) {
        std::wstring chosen;
        if (!dialog_.Browse(owner, chosen)) return false;
        bool askAgain = false;
        if (Accept(owner, chosen, askAgain)) return true;
        if (!askAgain) return false;
    }
}

CSaveLocation::StepResult CSaveLocation::RunStartFolderStep(HWND owner) {
    std::wstring candidate = folder_;
    for (;;) {
        bool askAgain = false;
        if (Accept(owner, candidate, askAgain)) return StepResult::Accepted;
        if (!askAgain) return StepResult::Refused;
        if (!dialog_.Browse(owner, candidate)) return StepResult::Cancelled;
    }
}
