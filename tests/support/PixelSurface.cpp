#include "tests/support/PixelSurface.h"

#include "tests/support/Screenshot.h"
#include "tests/support/TestSupport.h"

PixelSurface::PixelSurface(int width, int height, COLORREF clear) : width_(width), height_(height) {
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = -height;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = ::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<uint32_t*>(bits);
    dc_ = ::CreateCompatibleDC(nullptr);
    if (dc_ && bitmap_) previous_ = ::SelectObject(dc_, bitmap_);
    RECT all{0, 0, width, height};
    HBRUSH brush = ::CreateSolidBrush(clear);
    ::FillRect(dc_, &all, brush);
    ::DeleteObject(brush);
    ::GdiFlush();
}

PixelSurface::~PixelSurface() {
    if (previous_) ::SelectObject(dc_, previous_);
    if (dc_) ::DeleteDC(dc_);
    if (bitmap_) ::DeleteObject(bitmap_);
}

COLORREF PixelSurface::At(int x, int y) const {
    if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
    ::GdiFlush();
    const uint32_t v = bits_[static_cast<size_t>(y) * width_ + x];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

bool PixelSurface::SavePng(const std::wstring& path) const {
    if (!bits_) return false;
    ::GdiFlush();
    testing_support::EnsureParentFolder(path);
    return WriteBgraPng(path, width_, height_, bits_);
}
