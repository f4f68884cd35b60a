#include "DLDlg.h"

#include "AppMessages.h"
#include "DownloaderConfig.h"
#include "Entry.h"
#include "GdiHelpers.h"
#include "MainDlg.h"
#include "SomFontTable.h"
#include "SomSkin.h"
#include "SystemUtils.h"

#include <shellapi.h>

#include <cwchar>

namespace {

// Cyan areas of the background are cut out of the layered window.
const COLORREF kColourKey = RGB(0, 255, 255);

}  // namespace

HRGN CreatePageRegion() {
    const POINT vertices[] = {{7, 0},    {286, 0},   {295, 10}, {671, 10}, {679, 19},
                              {679, 411}, {671, 419}, {8, 419},  {0, 411},  {0, 0}};
    return ::CreatePolygonRgn(vertices, 10, ALTERNATE);
}

CDLDlg::CDLDlg() : background_(new CSomBitmap(IDR_PNG_PAGE_BACKGROUND, 1)), builtInBackground_(true) {}

CDLDlg::CDLDlg(const std::wstring& backgroundFile)
    : background_(new CSomBitmap(backgroundFile.c_str(), 1)), builtInBackground_(false) {}

CDLDlg::~CDLDlg() {
    if (m_hWnd) DestroyWindow();
}

CWndClassInfo& CDLDlg::GetWndClassInfo() {
    // The class is named by the game identifier: a second copy of the
    // downloader finds the page by it.
    static CWndClassInfo info;
    info.className = TheDownloaderConfig().GetGameId();
    return info;
}

BOOL CDLDlg::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    switch (msg) {
        case WM_CREATE:
            OnCreate();
            result = 0;
            return TRUE;
        case WM_TIMER:
            result = 0;
            return TRUE;
        case WM_CLOSE:
            SendMessage(WM_COMMAND, ID_CLOSE, 0);
            result = 0;
            return TRUE;
        case WM_NCHITTEST:
            result = HTCLIENT;
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wp)) {
                case ID_SHOW_DOWNLOADER: RestoreWindow(); break;
                case ID_EXIT_DOWNLOADER: Exit(); break;
                case ID_CLOSE: MinimizeToTray(); break;
                default: break;
            }
            result = 0;
            return TRUE;
        case WM_TRAYICON:
            OnTrayIcon(wp, lp);
            result = 0;
            return TRUE;
        case WM_LBUTTONDOWN:
            // Drag from anywhere; the elements still see the press.
            PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, lp);
            break;
        default:
            break;
    }
    return CSomWndManager::ProcessWindowMessage(hwnd, msg, wp, lp, result);
}

void CDLDlg::DrawBackground(HDC dc, const RECT*) {
    RECT client;
    GetClientRect(&client);
    background_->DrawStretched(dc, 0, 0, client.right, client.bottom, 0);
}

void CDLDlg::OnCreate() {
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, ::GetWindowLongPtrW(m_hWnd, GWL_STYLE) | WS_MINIMIZEBOX);
    const HICON icon = ::LoadIconW(g_hInstance ? g_hInstance : ::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(119));
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, kWidth, kHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, ::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE) | WS_EX_LAYERED);
    ::SetLayeredWindowAttributes(m_hWnd, kColourKey, 255, LWA_COLORKEY | LWA_ALPHA);
    ::SetWindowRgn(m_hWnd, CreatePageRegion(), FALSE);
    CenterWindow();

    const UINT shown = SOMF_VISIBLE | SOMF_AUTOSIZE;
    closeButton_.Create(this, 643, 26, ID_CLOSE, shown);
    closeButton_.SetImage(&SomSkin.closeButton);
    title_.Create(this, 53, 22, ID_TITLE, shown);
    title_.SetFont(SomSkin.fonts.Get(3));
    title_.SetText((L"{&#color=0xffffff}" + FormatWindowTitle(TheDownloaderConfig().GetGameName())).c_str());
}

void CDLDlg::RestoreWindow() {
    if (IsFullScreenAppInForeground()) {
        ::SetWindowPos(m_hWnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        return;
    }
    ShowWindow(SW_RESTORE);
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
    ::SetWindowPos(m_hWnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
}

void CDLDlg::MinimizeToTray() {
    if (!trayIcon_) {
        NOTIFYICONDATAW icon{};
        icon.cbSize = sizeof(icon);
        icon.hWnd = m_hWnd;
        icon.uID = kTrayIconId;
        icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        icon.uCallbackMessage = WM_TRAYICON;
        icon.hIcon = ::LoadIconW(g_hInstance ? g_hInstance : ::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(119));
        const std::wstring tip = FormatWindowTitle(TheDownloaderConfig().GetGameName());
        const size_t capacity = sizeof(icon.szTip) / sizeof(icon.szTip[0]);
        tip.copy(icon.szTip, capacity - 1);  // cut to the tip field, terminated by the zeroed record
        trayIcon_ = ::Shell_NotifyIconW(NIM_ADD, &icon) != FALSE;
    }
    ShowWindow(SW_HIDE);
}

void CDLDlg::OnTrayIcon(WPARAM wp, LPARAM lp) {
    if (wp != kTrayIconId) return;
    if (lp == WM_LBUTTONUP) {
        SendMessage(WM_COMMAND, ID_SHOW_DOWNLOADER, 0);
    } else if (lp == WM_RBUTTONUP) {
        HMENU menu = ::CreatePopupMenu();
        ::AppendMenuW(menu, MF_STRING, ID_SHOW_DOWNLOADER, L"打开下载器");
        ::AppendMenuW(menu, MF_STRING, ID_EXIT_DOWNLOADER, L"关闭");
        POINT cursor{};
        ::GetCursorPos(&cursor);
        ::SetForegroundWindow(m_hWnd);
        ::TrackPopupMenu(menu, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, m_hWnd, nullptr);
        ::DestroyMenu(menu);
    }
}

void CDLDlg::RemoveTrayIcon() {
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof(icon);
    icon.hWnd = m_hWnd;
    icon.uID = kTrayIconId;
    icon.uFlags = NIF_TIP;
    wcscpy_s(icon.szTip, L"Vorla游戏下载器");
    ::Shell_NotifyIconW(NIM_DELETE, &icon);
    trayIcon_ = false;
}

void CDLDlg::Exit() {
    RemoveTrayIcon();
    DestroyWindow();
    ::PostQuitMessage(0);
}
