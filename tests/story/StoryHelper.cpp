// A small console tool for the stories: it finds the downloader's windows by
// class name or title, which X tools cannot see, talks to them, and trusts a
// test certificate authority in the prefix's machine root store.
//   story-helper where <class>         prints "x y width height visible" of the
//                                      window's client area on the screen
//   story-helper post <class> <id>     posts WM_COMMAND <id> to the window
//   story-helper answers <class> <ms>  sends the window a message that does
//                                      nothing; exit code 3 when its thread
//                                      did not answer within <ms>
//   story-helper titled <title>        prints "class visible" of each
//                                      top-level window with that title
//   story-helper owned <class>         prints the count of visible windows the
//                                      window owns (its prompts)
//   story-helper trust <der-file>      adds the root to the machine's store
//   story-helper distrust <der-file>   removes it again
// Exit code 0 when the window exists (and answered) or the store changed, 1
// when it does not, 2 on bad usage.

#include "tests/support/RootCertificate.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

bool ReadWholeFile(const wchar_t* path, std::string* out) {
    FILE* file = ::_wfopen(path, L"rb");
    if (!file) return false;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), file)) > 0) out->append(buffer, n);
    std::fclose(file);
    return !out->empty();
}

struct TitleSearch {
    const wchar_t* title;
    int found;
};

BOOL CALLBACK PrintTitled(HWND window, LPARAM param) {
    TitleSearch* search = reinterpret_cast<TitleSearch*>(param);
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    if (std::wcscmp(text, search->title) != 0) return TRUE;
    wchar_t cls[128] = {};
    ::GetClassNameW(window, cls, 128);
    std::printf("%ls %d\n", cls, ::IsWindowVisible(window) ? 1 : 0);
    ++search->found;
    return TRUE;
}

struct OwnedSearch {
    HWND owner;
    int found;
};

BOOL CALLBACK CountOwned(HWND window, LPARAM param) {
    OwnedSearch* search = reinterpret_cast<OwnedSearch*>(param);
    if (::GetWindow(window, GW_OWNER) == search->owner && ::IsWindowVisible(window)) ++search->found;
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: story-helper where <class> | post <class> <id> | answers <class> <ms> | "
                              L"titled <title> | owned <class> | trust <der-file> | distrust <der-file>\n");
        return 2;
    }
    if (std::wcscmp(argv[1], L"titled") == 0) {
        TitleSearch search{argv[2], 0};
        ::EnumWindows(&PrintTitled, reinterpret_cast<LPARAM>(&search));
        return search.found > 0 ? 0 : 1;
    }
    if (std::wcscmp(argv[1], L"trust") == 0 || std::wcscmp(argv[1], L"distrust") == 0) {
        std::string der;
        if (!ReadWholeFile(argv[2], &der)) return 1;
        if (argv[1][0] == L'd') {
            testing_support::RemoveRootCertificate(der, HKEY_LOCAL_MACHINE);
            return 0;
        }
        return testing_support::AddRootCertificate(der, HKEY_LOCAL_MACHINE) ? 0 : 1;
    }
    HWND window = ::FindWindowW(argv[2], nullptr);
    if (!window) return 1;
    if (std::wcscmp(argv[1], L"owned") == 0) {
        OwnedSearch search{window, 0};
        ::EnumWindows(&CountOwned, reinterpret_cast<LPARAM>(&search));
        std::printf("%d\n", search.found);
        return 0;
    }
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
        return ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                                     timeoutMs, &ignored)
                   ? 0
                   : 3;
    }
    return 2;
}
