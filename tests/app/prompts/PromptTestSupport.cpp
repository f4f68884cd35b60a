#include "tests/app/prompts/PromptTestSupport.h"

#include "tests/support/TestSupport.h"

OwnerWindow::OwnerWindow() {
    const RECT rect{100, 100, 779, 519};
    Create(nullptr, rect, L"owner", WS_POPUP);
}

OwnerWindow::~OwnerWindow() {
    if (m_hWnd) DestroyWindow();
}

void OwnerWindow::PostStep(std::function<void()> step) {
    step_ = std::move(step);
    PostMessage(WM_RUN_STEP);
}

BOOL OwnerWindow::ProcessWindowMessage(HWND, UINT msg, WPARAM wp, LPARAM, LRESULT& result) {
    if (msg == WM_RUN_STEP) {
        auto step = std::move(step_);
        step_ = nullptr;
        if (step) step();
        result = 0;
        return TRUE;
    }
    if (msg == WM_TIMER && onTimer) {
        onTimer(wp);
        result = 0;
        return TRUE;
    }
    return FALSE;
}

HWND CreateShown(CPromptDlg& prompt, HWND owner) {
    if (!prompt.CreatePrompt(owner, WS_POPUP)) return nullptr;
    ::SetWindowPos(prompt, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    return prompt;
}

bool TakeQuitMessage(int* exitCode) {
    MSG msg{};
    if (!::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return false;
    if (exitCode) *exitCode = static_cast<int>(msg.wParam);
    return true;
}

int TakePosted(HWND hwnd, UINT first, UINT last, MSG* lastTaken) {
    int count = 0;
    MSG msg{};
    while (::PeekMessageW(&msg, hwnd, first, last, PM_REMOVE | PM_NOYIELD)) {
        ++count;
        if (lastTaken) *lastTaken = msg;
    }
    return count;
}

void ClickAt(HWND hwnd, int x, int y) {
    const LPARAM at = MAKELPARAM(x, y);
    ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, at);
    ::SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    if (::IsWindow(hwnd)) ::SendMessageW(hwnd, WM_LBUTTONUP, 0, at);
}

void PaintPrompt(CPromptDlg& prompt, PixelSurface& surface) {
    ::SendMessageW(prompt, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(surface.dc()), PRF_CLIENT);
}
