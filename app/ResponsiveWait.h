// Long work on a worker thread while the window thread goes on handling its
// messages (painting, timers, the notification icon): a check that reads a
// whole installer never freezes the page. The window is disabled meanwhile,
// so the user cannot start anything else. `work` sees `cancel` become true
// when `abandon()` says so (the program is ending) or a quit message arrives
// (posted again for the outer loop); it should stop soon after.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

// Returns work's result; false when cancelled.
bool RunResponsive(HWND window, const std::function<bool(const std::atomic<bool>& cancel)>& work,
                   const std::function<bool()>& abandon);
