// A small console tool for the download story: it finds the downloader's
// windows by class name, which X tools cannot see, and talks to them.
//   story-helper where <class>         prints "x y width height visible" of the
//                                      window's client area on the screen
//   story-helper post <class> <id>     posts WM_COMMAND <id> to the window
//   story-helper answers <class> <ms>  sends the window a message that does
//                                      nothing; exit code 3 when its thread
//                                      did not answer within <ms>
// Exit code 0 when the window exists (and answered), 1 when it does not, 2
// on bad usage.

#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: story-helper where <class> | post <class> <id> | answers <class> <ms>\n");
        return 2;
    }
    HWND window = ::FindWindowW(argv[2], nullptr);
    if (!window) return 1;
    if (std::wcscmp(argv[1], L"where") == 0) {
        RECT client{};
        ::GetClientRect(window, &client);
        POINT origin{0, 0};
        ::ClientToScreen(window, &origin);
        std::printf("%ld %ld %ld %ld %d\n", origin.x, origin.y, client.right, client.bottom,
                    ::IsWindowVisible(window) ? 1 : 0);
        return 0;
    }
    if (std::wcscmp(argv[1], L"post") == 0 && argc == 4) {
        const WORD id = static_cast<WORD>(std::wcstoul(argv[3], nullptr, 10));
        return ::PostMessageW(window, WM_COMMAND, id, 0) ? 0 : 1;
    }
    if (std::wcscmp(argv[1], L"answers") == 0 && argc == 4) {
        const UINT timeoutMs = static_cast<UINT>(std::wcstoul(argv[3], nullptr, 10));
        DWORD_PTR ignored = 0;
        return ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, timeoutMs, &ignored) ? 0 : 3;
    }
    return 2;
}
