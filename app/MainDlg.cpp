#include "MainDlg.h"

#include "AppMessages.h"
#include "CallBack.h"
#include "DownloaderConfig.h"
#include "ShellServices.h"
#include "StatisticsMgr.h"

#include <cstdio>

namespace {

// Draws text in the given colour with the system's default GUI font.
void DrawLabel(HDC dc, const std::wstring& text, RECT rect, COLORREF colour, UINT format) {
    ::SetTextColor(dc, colour);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format | DT_NOPREFIX);
}

}  // namespace

std::wstring FormatWindowTitle(const std::wstring& gameName) {
    return L"Vorla游戏下载器-" + gameName + L"专版";
}

const wchar_t* ConfigInitResultName(int result) {
    switch (result) {
        case CONFIG_DOWNLOAD_FAILED: return L"CONFIG_DOWNLOAD_FAILED";
        case CONFIG_INVALID: return L"CONFIG_INVALID";
        case SKIN_DOWNLOAD_FAILED: return L"SKIN_DOWNLOAD_FAILED";
        case CONFIG_READY: return L"CONFIG_READY";
        default: return L"?";
    }
}

BOOL CMainDlg::PreTranslateMessage(MSG* msg) {
    return msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST &&
           (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE);
}

BOOL CMainDlg::ProcessWindowMessage(HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    switch (msg) {
        case WM_CREATE:
            OnCreate();
            result = 0;
            return TRUE;
        case WM_CLOSE:
            DestroyWindow();
            ::PostQuitMessage(0);
            result = 0;
            return TRUE;
        case WM_CONFIG_INIT:
            OnConfigInit(wp, lp);
            result = 0;
            return TRUE;
        case WM_NCHITTEST: {
            POINT pt = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
            ::ScreenToClient(m_hWnd, &pt);
            const RECT close = CloseGlyphRect();
            result = ::PtInRect(&close, pt) ? HTCLIENT : HTCAPTION;
            return TRUE;
        }
        case WM_LBUTTONUP: {
            POINT pt = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
            const RECT close = CloseGlyphRect();
            if (::PtInRect(&close, pt)) PostMessage(WM_CLOSE);
            result = 0;
            return TRUE;
        }
        case WM_ERASEBKGND:
            result = 1;
            return TRUE;
        case WM_PAINT:
            OnPaint();
            result = 0;
            return TRUE;
        default:
            return FALSE;
    }
}

RECT CMainDlg::CloseGlyphRect() const { return RECT{369, 16, 389, 36}; }

void CMainDlg::OnCreate() {
    CreateDesktopShortcut();
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, kWidth, kHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    CenterWindow();
    HANDLE thread = ::CreateThread(nullptr, 0, &CMainDlg::LoadingThread, m_hWnd, 0, nullptr);
    if (thread) ::CloseHandle(thread);
}

DWORD WINAPI CMainDlg::LoadingThread(void* window) {
    const HWND hwnd = static_cast<HWND>(window);
    CallBack callback(hwnd);
    const int result = TheDownloaderConfig().Load(&callback);
    ::SendMessageW(hwnd, WM_CONFIG_INIT, static_cast<WPARAM>(result), LOAD_REPORT_FINISHED);
    return 0;
}

void CMainDlg::OnConfigInit(WPARAM wp, LPARAM lp) {
    if (lp == LOAD_REPORT_PROGRESS) {
        position_ = static_cast<int>(wp);
    } else if (lp == LOAD_REPORT_FINISHED) {
        loadResult_ = static_cast<int>(wp);
        if (CStatisticsMgr* statistics = TheStatisticsMgr()) statistics->ReportConfigLoaded();
        position_ = 100;
        SetWindowText(FormatWindowTitle(TheDownloaderConfig().GetGameName()).c_str());
    }
    Invalidate();
}

void CMainDlg::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    RECT client;
    GetClientRect(&client);
    HBRUSH back = ::CreateSolidBrush(RGB(0x1d, 0x2b, 0x3a));
    ::FillRect(dc, &client, back);
    ::DeleteObject(back);

    ::SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldFont = ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
    DrawLabel(dc, L"Vorla游戏下载器", RECT{17, 17, 360, 37}, RGB(255, 255, 255), DT_LEFT | DT_SINGLELINE);
    DrawLabel(dc, L"×", CloseGlyphRect(), RGB(255, 255, 255), DT_CENTER | DT_VCENTER | DT_SINGLELINE);

    std::wstring status = L"正在初始化...";
    std::wstring detail;
    if (loadResult_ >= 0) {
        wchar_t text[128];
        std::swprintf(text, 128, L"ConfigInitResult = %d (%ls)", loadResult_, ConfigInitResultName(loadResult_));
        status = text;
        const CDownloaderConfig& config = TheDownloaderConfig();
        if (!config.GetGameName().empty()) {
            std::swprintf(text, 128, L"%ls  %llu bytes", config.GetGameName().c_str(),
                          static_cast<unsigned long long>(config.GetGameSize()));
            detail = text;
        }
    }
    DrawLabel(dc, status, RECT{17, 70, 387, 90}, RGB(230, 230, 230), DT_CENTER | DT_SINGLELINE);
    DrawLabel(dc, detail, RECT{17, 92, 387, 112}, RGB(200, 200, 200), DT_CENTER | DT_SINGLELINE | DT_END_ELLIPSIS);

    RECT track{37, 122, 376, 139};
    HBRUSH trackBrush = ::CreateSolidBrush(RGB(0x3a, 0x4a, 0x5a));
    ::FillRect(dc, &track, trackBrush);
    ::DeleteObject(trackBrush);
    RECT fill = track;
    fill.right = track.left + (track.right - track.left) * (position_ > 100 ? 100 : position_) / 100;
    HBRUSH fillBrush = ::CreateSolidBrush(RGB(0x3c, 0xb3, 0x71));
    ::FillRect(dc, &fill, fillBrush);
    ::DeleteObject(fillBrush);

    ::SelectObject(dc, oldFont);
    ::EndPaint(m_hWnd, &ps);
}
