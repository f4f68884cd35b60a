// UTF-8 and the platform's UTF-16 wide strings (Windows build only).
#pragma once

#include <string>

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
