// publish-probe title <class>: prints the title of the top-level window of
// that class as UTF-8 (the published game's page is classed by its
// identifier). Exit code 0 when the window exists, 1 when it does not, 2 on
// bad usage.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3 || std::wcscmp(argv[1], L"title") != 0) {
        std::fwprintf(stderr, L"usage: publish-probe title <class>\n");
        return 2;
    }
    HWND window = ::FindWindowW(argv[2], nullptr);
    if (!window) return 1;
    std::wstring title(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    title.resize(static_cast<size_t>(::GetWindowTextW(window, &title[0], static_cast<int>(title.size()))));
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, title.data(), static_cast<int>(title.size()), nullptr, 0, nullptr,
                                        nullptr);
    std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, title.data(), static_cast<int>(title.size()), &text[0], n, nullptr, nullptr);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    return 0;
}
