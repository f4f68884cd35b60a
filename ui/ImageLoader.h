// Where image bits come from: a program resource or a file, decoded by kind
// (1 Windows bitmap, 2 PNG, 3 JPEG).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Largest image file read (the downloaded skin is capped alike when it is
// fetched); a larger file yields no bitmap.
const uint64_t kMaxImageFileBytes = 4 << 20;  // 4 MiB

HBITMAP LoadImageResource(HINSTANCE module, UINT resourceId, BYTE kind);
HBITMAP LoadImageFile(const std::wstring& path, BYTE kind);
