#include "PromptTestSupport.h"

#include "TestSupport.h"

#include <png.h>

#include <cstdio>
#include <vector>

OwnerWindow::OwnerWindow() {
    const RECT rect{100, 100, 779, 519};
    Create(nullptr, rect, L"owner", WS_POPUP);
}

OwnerWindow::~OwnerWindow() {
    if (m_hWnd) DestroyWindow();
}

void OwnerWindow::PostStep(std::function<void()> step) {
    step_ = std::move(step);
    PostMessage(WM_RUN_STEP);
}

BOOL OwnerWindow::ProcessWindowMessage(HWND, UINT msg, WPARAM wp, LPARAM, LRESULT& result) {
    if (msg == WM_RUN_STEP) {
        auto step = std::move(step_);
        step_ = nullptr;
        if (step) step();
        result = 0;
        return TRUE;
    }
    if (msg == WM_TIMER && onTimer) {
        onTimer(wp);
        result = 0;
        return TRUE;
    }
    return FALSE;
}

HWND CreateShown(CPromptDlg& prompt, HWND owner) {
    if (!prompt.CreatePrompt(owner, WS_POPUP)) return nullptr;
    ::SetWindowPos(prompt, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    return prompt;
}

bool TakeQuitMessage(int* exitCode) {
    MSG msg{};
    if (!::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return false;
    if (exitCode) *exitCode = static_cast<int>(msg.wParam);
    return true;
}

int TakePosted(HWND hwnd, UINT first, UINT last, MSG* lastTaken) {
    int count = 0;
    MSG msg{};
    while (::PeekMessageW(&msg, hwnd, first, last, PM_REMOVE | PM_NOYIELD)) {
        ++count;
        if (lastTaken) *lastTaken = msg;
    }
    return count;
}

void ClickAt(HWND hwnd, int x, int y) {
    const LPARAM at = MAKELPARAM(x, y);
    ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, at);
    ::SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    if (::IsWindow(hwnd)) ::SendMessageW(hwnd, WM_LBUTTONUP, 0, at);
}

PixelSurface::PixelSurface(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    dc_ = ::CreateCompatibleDC(nullptr);
    bitmap_ = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<uint32_t*>(bits);
    if (dc_ && bitmap_) previous_ = ::SelectObject(dc_, bitmap_);
}

PixelSurface::~PixelSurface() {
    if (previous_) ::SelectObject(dc_, previous_);
    if (bitmap_) ::DeleteObject(bitmap_);
    if (dc_) ::DeleteDC(dc_);
}

COLORREF PixelSurface::At(int x, int y) const {
    if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
    ::GdiFlush();
    const uint32_t v = bits_[static_cast<size_t>(y) * width_ + x];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

namespace {

struct PngWriter {
    FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngWriter() {
        if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
        if (file) std::fclose(file);
    }
};

bool WriteRgbRows(PngWriter& out, int width, int height, const std::vector<std::vector<png_byte>>& rows) {
    if (setjmp(png_jmpbuf(out.png))) return false;
    png_init_io(out.png, out.file);
    png_set_IHDR(out.png, out.info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(out.png, out.info);
    for (const auto& row : rows) png_write_row(out.png, const_cast<png_bytep>(row.data()));
    png_write_end(out.png, nullptr);
    return true;
}

}  // namespace

bool PixelSurface::SavePng(const std::wstring& path) const {
    if (!bits_) return false;
    ::GdiFlush();
    std::vector<std::vector<png_byte>> rows(static_cast<size_t>(height_));
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            const COLORREF c = At(x, y);
            rows[static_cast<size_t>(y)].insert(rows[static_cast<size_t>(y)].end(),
                                                {GetRValue(c), GetGValue(c), GetBValue(c)});
        }
    }
    testing_support::EnsureParentFolder(path);
    PngWriter out;
    out.file = ::_wfopen(path.c_str(), L"wb");
    if (!out.file) return false;
    out.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!out.png) return false;
    out.info = png_create_info_struct(out.png);
    if (!out.info) return false;
    return WriteRgbRows(out, width_, height_, rows);
}

void PaintPrompt(CPromptDlg& prompt, PixelSurface& surface) {
    ::SendMessageW(prompt, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(surface.dc()), PRF_CLIENT);
}

std::wstring ScreenshotPath(const std::wstring& name) {
    std::wstring dir = testing_support::EnvPath("VORLA_BUILD_DIR");
    if (dir.empty()) {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        dir = temp;
    }
    if (dir.back() != L'\\') dir += L'\\';
    return dir + L"screenshots\\" + name + L".png";
}
