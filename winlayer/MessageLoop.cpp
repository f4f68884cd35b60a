#include "winlayer/MessageLoop.h"

#include <algorithm>

void CMessageLoop::AddMessageFilter(CMessageFilter* filter) {
    if (filter) filters_.push_back(filter);
}

bool CMessageLoop::RemoveMessageFilter(CMessageFilter* filter) {
    auto it = std::find(filters_.begin(), filters_.end(), filter);
    if (it == filters_.end()) return false;
    filters_.erase(it);
    return true;
}

BOOL CMessageLoop::PreTranslateMessage(MSG* msg) {
    for (auto it = filters_.rbegin(); it != filters_.rend(); ++it) {
        if ((*it)->PreTranslateMessage(msg)) return TRUE;
    }
    return FALSE;
}

int CMessageLoop::Run() {
    MSG msg{};
    for (;;) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) continue;
        if (got == 0) break;
        if (PreTranslateMessage(&msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
