// Where image bits come from: a program resource or a file, decoded by kind
// (1 Windows bitmap, 2 PNG, 3 JPEG).
#pragma once

#include <windows.h>

#include <string>

HBITMAP LoadImageResource(HINSTANCE module, UINT resourceId, BYTE kind);
HBITMAP LoadImageFile(const std::wstring& path, BYTE kind);
