#include "tests/support/Screenshot.h"

#include "tests/support/TestSupport.h"

#include <png.h>

#include <cstdio>
#include <vector>

std::wstring ScreenshotFile(const std::wstring& name) {
    std::wstring dir = testing_support::EnvPath("VORLA_BUILD_DIR");
    if (dir.empty()) {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        dir = temp;
    }
    if (dir.back() != L'\\') dir += L'\\';
    dir += L"screenshots\\";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    return dir + name + L".png";
}

bool WriteBgraPng(const std::wstring& path, int width, int height, const uint32_t* pixels) {
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = false;
    if (png && info && !setjmp(png_jmpbuf(png))) {
        png_init_io(png, file);
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        std::vector<png_byte> row(static_cast<size_t>(width) * 3);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const uint32_t v = pixels[static_cast<size_t>(y) * width + x];
                row[x * 3] = static_cast<png_byte>((v >> 16) & 0xFF);
                row[x * 3 + 1] = static_cast<png_byte>((v >> 8) & 0xFF);
                row[x * 3 + 2] = static_cast<png_byte>(v & 0xFF);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    std::fclose(file);
    return ok;
}

bool SaveWindowScreenshot(HWND window, const std::wstring& name) {
    RECT rc{};
    if (!::GetWindowRect(window, &rc)) return false;
    const int width = rc.right - rc.left;
    const int height = rc.bottom - rc.top;
    if (width <= 0 || height <= 0) return false;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap) {
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        ::BitBlt(memory, 0, 0, width, height, screen, rc.left, rc.top, SRCCOPY);
        ::SelectObject(memory, old);
        ok = WriteBgraPng(ScreenshotFile(name), width, height, static_cast<const uint32_t*>(bits));
        ::DeleteObject(bitmap);
    }
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return ok;
}
