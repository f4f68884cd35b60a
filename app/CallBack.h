// The start-up window's progress sink: turns transfer progress of the
// configuration load into bar positions 0..40 sent to the window.
#pragma once

#include "config/DownloaderConfig.h"

#include <windows.h>

// Position for `done` of `total` bytes of a transfer of `kind`: 0..20 for the
// configuration file, 20..40 for the skin image, 0 when total is 0.
int ConfigLoadPosition(int done, int total, int kind);

class CallBack : public CDownloaderConfig::IConfigInitCallback {
public:
    explicit CallBack(HWND window) : window_(window) {}
    void OnConfigInitStatus(int done, int total, int status, int kind) override;

private:
    HWND window_;
};
