#include "tests/app/program/HandOverWatch.h"

bool HandOverWatch::Watch(DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    bool goingSeen = false;
    ULONGLONG emptySince = 0;
    for (;;) {
        // Messages of this thread first: the program may send to the test.
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        const ULONGLONG now = ::GetTickCount64();
        const bool going = going_() != nullptr;  // looked at before the coming one
        const bool coming = coming_() != nullptr;
        ++snapshots_;
        if (going) goingSeen = true;
        if (goingSeen && !going && !coming) {
            ++emptySnapshots_;
            if (!emptySince) emptySince = now;
            const DWORD empty = static_cast<DWORD>(now - emptySince);
            if (empty > longestEmptyMs_) longestEmptyMs_ = empty;
        } else {
            emptySince = 0;
        }
        if (goingSeen && !going && coming) return true;
        if (now >= deadline) return false;
        ::Sleep(1);
    }
}
