#include "tests/ui/UiTestSupport.h"

#include "tests/support/TestSupport.h"

#include <png.h>

#include <cstdio>

TestHost::TestHost(int width, int height, bool visible) {
    RECT rect{40, 40, 40 + width, 40 + height};
    Create(nullptr, rect, L"toolkit test host", WS_POPUP | (visible ? WS_VISIBLE : 0));
}

TestHost::~TestHost() {
    if (m_hWnd) DestroyWindow();
}

BOOL TestHost::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (msg == WM_COMMAND) {
        commands.push_back(Command{LOWORD(wp), HIWORD(wp), reinterpret_cast<CSomWnd*>(lp)});
        result = 0;
        return TRUE;
    }
    lastHandled = CSomWndManager::ProcessWindowMessage(hwnd, msg, wp, lp, result) != FALSE;
    if (msg == WM_TIMER && !lastHandled) ownTimers.push_back(wp);
    return lastHandled;
}

LRESULT TestHost::Send(UINT msg, WPARAM wp, LPARAM lp) {
    lastHandled = false;
    return ::SendMessageW(m_hWnd, msg, wp, lp);
}

void TestHost::SetPointer(int x, int y, bool hostOnTop) {
    POINT pt{x, y};
    ::ClientToScreen(m_hWnd, &pt);
    pointerScreen_ = pt;
    hostOnTop_ = hostOnTop;
}

void ProbeElement::Draw(HDC dc, int clipRight, int part) {
    ++draws;
    lastDrawPart = part;
    lastClipRight = clipRight;
    RECT r{0, 0, GetWidth(), GetHeight()};
    HBRUSH brush = ::CreateSolidBrush(fill);
    ::FillRect(dc, &r, brush);
    ::DeleteObject(brush);
    Record("draw");
}

namespace {

struct PngFile {
    FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngFile() {
        if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
        if (file) std::fclose(file);
    }
};

bool WriteRows(PngFile& out, int width, int height, int colourType, int bitDepth,
               const std::vector<std::vector<uint8_t>>& rows, const std::vector<uint8_t>& paletteRgb,
               const std::vector<uint8_t>& trns) {
    if (setjmp(png_jmpbuf(out.png))) return false;
    png_init_io(out.png, out.file);
    png_set_IHDR(out.png, out.info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), bitDepth,
                 colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (size_t i = 0; i + 2 < paletteRgb.size(); i += 3) {
        palette.push_back(png_color{paletteRgb[i], paletteRgb[i + 1], paletteRgb[i + 2]});
    }
    if (!palette.empty()) png_set_PLTE(out.png, out.info, palette.data(), static_cast<int>(palette.size()));
    if (!trns.empty()) {
        png_set_tRNS(out.png, out.info, const_cast<png_bytep>(trns.data()), static_cast<int>(trns.size()),
                     nullptr);
    }
    png_write_info(out.png, out.info);
    for (const auto& row : rows) png_write_row(out.png, const_cast<png_bytep>(row.data()));
    png_write_end(out.png, nullptr);
    return true;
}

}  // namespace

bool WriteTestPng(const std::wstring& path, int width, int height, int colourType, int bitDepth,
                  const std::vector<std::vector<uint8_t>>& rows, const std::vector<uint8_t>& paletteRgb,
                  const std::vector<uint8_t>& trns) {
    testing_support::EnsureParentFolder(path);
    PngFile out;
    out.file = ::_wfopen(path.c_str(), L"wb");
    if (!out.file) return false;
    out.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!out.png) return false;
    out.info = png_create_info_struct(out.png);
    if (!out.info) return false;
    return WriteRows(out, width, height, colourType, bitDepth, rows, paletteRgb, trns);
}

std::wstring TestScratchDir() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring dir = std::wstring(temp) + L"vorla_ui_tests\\";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}
