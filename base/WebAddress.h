// Which addresses the program hands to the shell or a browser: links come
// from pages and configuration fetched over plain HTTP, so only web
// addresses are opened (no file:, UNC paths or other protocol handlers).
#pragma once

#include <cwctype>
#include <string>

inline bool IsWebAddress(const std::wstring& url) {
    auto startsWith = [&url](const wchar_t* prefix) {
        size_t i = 0;
        for (; prefix[i]; ++i) {
            if (i >= url.size() || std::towlower(url[i]) != prefix[i]) return false;
        }
        return url.size() > i;
    };
    return startsWith(L"http://") || startsWith(L"https://");
}
