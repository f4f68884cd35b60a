#include "app/DirErrPrompt.h"

#include "app/PromptDialogs.h"

int CDirErrPrompt::Show(HWND owner, const std::wstring& message) {
    CDirErrDlg prompt(message);
    return prompt.RunModal(owner);
}
