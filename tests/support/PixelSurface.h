// A top-down 32-bit DIB selected into a memory DC, for reading drawn pixels
// back and saving them as screenshots.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class PixelSurface {
public:
    PixelSurface(int width, int height, COLORREF clear = RGB(0, 0, 0));
    ~PixelSurface();
    PixelSurface(const PixelSurface&) = delete;
    PixelSurface& operator=(const PixelSurface&) = delete;

    HDC dc() const { return dc_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // Colour as a COLORREF (red lowest), alpha dropped; CLR_INVALID outside.
    COLORREF At(int x, int y) const;
    const uint32_t* Bits() const { return bits_; }
    // Saves the surface as an RGB PNG.
    bool SavePng(const std::wstring& path) const;

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    uint32_t* bits_ = nullptr;
    int width_;
    int height_;
};
