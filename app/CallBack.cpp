#include "app/CallBack.h"

#include "app/AppMessages.h"

int ConfigLoadPosition(int done, int total, int kind) {
    if (total == 0) return 0;
    const double fraction = static_cast<double>(static_cast<unsigned>(done)) / static_cast<unsigned>(total);
    const int base = kind == CDownloaderConfig::KIND_SKIN ? 20 : 0;
    return static_cast<int>(fraction * 20 + base);
}

void CallBack::OnConfigInitStatus(int done, int total, int status, int kind) {
    if (status != HTTP_PROGRESS_RECEIVING) return;
    if (kind != CDownloaderConfig::KIND_CONFIG && kind != CDownloaderConfig::KIND_SKIN) return;
    ::SendMessageW(window_, WM_CONFIG_INIT, static_cast<WPARAM>(ConfigLoadPosition(done, total, kind)),
                   LOAD_REPORT_PROGRESS);
}
