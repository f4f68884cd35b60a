#include "app/ResponsiveWait.h"

#include "base/ScopedHandle.h"

#include <thread>

bool RunResponsive(HWND window, const std::function<bool(const std::atomic<bool>& cancel)>& work,
                   const std::function<bool()>& abandon) {
    ScopedHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!done) return false;
    std::atomic<bool> cancel{false};
    bool result = false;
    std::thread worker([&] {
        result = work(cancel);
        ::SetEvent(done.get());
    });
    const bool wasEnabled = window && !::EnableWindow(window, FALSE);
    bool quit = false;
    WPARAM quitCode = 0;
    HANDLE wait = done.get();
    while (::MsgWaitForMultipleObjects(1, &wait, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                quitCode = msg.wParam;
                cancel = true;
                continue;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (abandon && abandon()) cancel = true;
    }
    worker.join();
    if (window && wasEnabled && ::IsWindow(window)) ::EnableWindow(window, TRUE);
    if (quit) ::PostQuitMessage(int(quitCode));
    return result && !cancel.load();
}
