// Stands in for <windows.h> when the PNG loader is built natively for
// fuzzing: the few GDI types and calls it uses, with the Windows layouts.
// FakeGdi.cpp implements the calls over plain memory.
#pragma once

#include <cstdint>

typedef int32_t LONG;
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef int BOOL;
typedef unsigned int UINT;
typedef void* HANDLE;
typedef void* HDC;
typedef void* HGDIOBJ;
typedef struct FakeBitmap* HBITMAP;

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

const DWORD BI_RGB = 0;
const UINT DIB_RGB_COLORS = 0;

HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset);
BOOL DeleteObject(HGDIOBJ object);
BOOL GdiFlush();
