// Pieces shared by the prompt tests: an owner window that runs a step when a
// posted message reaches it (so a test can act while RunModal's loop runs),
// a 32-bit surface to read painted pixels, and a PNG writer for screenshots.
#pragma once

#include "tests/support/PixelSurface.h"

#include "app/PromptDlg.h"
#include "winlayer/WindowImpl.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

// A hidden pop-up; PostStep(f) runs f when the posted message is dispatched.
class OwnerWindow : public CWindowImplBase {
public:
    static const UINT WM_RUN_STEP = WM_APP + 1;

    OwnerWindow();
    ~OwnerWindow() override;

    void PostStep(std::function<void()> step);
    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

    std::function<void(UINT_PTR)> onTimer;

private:
    std::function<void()> step_;
};

// Creates the prompt owned by owner and shows it without activating it.
// (Under Wine, destroying the active window waits for the X server's focus
// answer for about two seconds; the prompts' own activation is not what
// these tests are about.)
HWND CreateShown(CPromptDlg& prompt, HWND owner);

// Whether a WM_QUIT waits in this thread's queue (it is taken out).
bool TakeQuitMessage(int* exitCode = nullptr);
// Takes out every posted message for hwnd in [first, last] and counts them;
// they are not dispatched.
int TakePosted(HWND hwnd, UINT first, UINT last, MSG* lastTaken = nullptr);

// Presses and releases the left button at a client point, with the pointer
// arriving there first, as the platform would send it.
void ClickAt(HWND hwnd, int x, int y);


// Paints the prompt's client area into a new surface.
void PaintPrompt(CPromptDlg& prompt, PixelSurface& surface);

