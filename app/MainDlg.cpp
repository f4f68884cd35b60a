#include "app/MainDlg.h"

#include "app/AppMessages.h"
#include "app/CallBack.h"
#include "config/DownloaderConfig.h"
#include "app/Entry.h"
#include "system/ShellServices.h"
#include "ui/SomSkin.h"
#include "app/StartupWindows.h"
#include "report/StatisticsMgr.h"
#include "system/SystemUtils.h"
#include "base/ScopedHandle.h"

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

HRGN CreateCutCornerRegion(int w, int h, int c) {
    const POINT corners[] = {{c, 0}, {w - c, 0}, {w, c}, {w, h - c}, {w - c, h}, {c, h}, {0, h - c}, {0, c}};
    return ::CreatePolygonRgn(corners, 8, ALTERNATE);
}

CMainDlg::CMainDlg() = default;

CMainDlg::~CMainDlg() {
    if (m_hWnd) DestroyWindow();
}

BOOL CMainDlg::PreTranslateMessage(MSG* msg) {
    return msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST &&
           (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE);
}

BOOL CMainDlg::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    switch (msg) {
        case WM_SIZE:
            result = 0;
            return TRUE;
        case WM_CREATE:
            OnCreate();
            result = 0;
            return TRUE;
        case WM_TIMER:
            // Every timer is consumed here, the element manager's own included.
            if (wp == IDT_INIT_FINISH) OnFinishingTick();
            result = 1;
            return TRUE;
        case WM_CLOSE:
            Close();
            result = 0;
            return TRUE;
        case WM_CONFIG_INIT:
            OnConfigInit(wp, lp);
            result = 0;
            return TRUE;
        case WM_NCHITTEST: {
            POINT pt = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
            ::ScreenToClient(m_hWnd, &pt);
            const RECT& close = closeButton_.GetRect();
            result = ::PtInRect(&close, pt) ? HTCLIENT : HTCAPTION;
            return TRUE;
        }
        case WM_COMMAND:
            if (wp == ID_CLOSE) Close();
            result = 0;
            return TRUE;
        default:
            return CSomWndManager::ProcessWindowMessage(hwnd, msg, wp, lp, result);
    }
}

void CMainDlg::Close() {
    DestroyWindow();
    ::PostQuitMessage(0);
}

void CMainDlg::DrawBackground(HDC dc, const RECT*) {
    RECT client;
    GetClientRect(&client);
    SomSkin.dialogFrame.DrawStretched(dc, 0, 0, client.right - 1, client.bottom - 1, 0);
}

void CMainDlg::OnCreate() {
    CreateDesktopShortcut();
    ::GetSystemMenu(m_hWnd, TRUE);
    const HICON icon = ::LoadIconW(g_hInstance ? g_hInstance : ::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(119));
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, SomSkin.dialogFrame.GetFrameWidth(), SomSkin.dialogFrame.GetHeight(),
                   SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, kWidth, kHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    LayOut();
    CenterWindow();
    StartLoading();
}

void CMainDlg::StartLoading() {
    // The loading thread runs on its own and reports by message; its handle
    // is not needed.
    ScopedHandle thread(::CreateThread(nullptr, 0, &CMainDlg::LoadingThread, m_hWnd, 0, nullptr));
}

void CMainDlg::LayOut() {
    const UINT flags = SOMF_VISIBLE | SOMF_AUTOSIZE;
    closeButton_.Create(this, 0, 0, ID_CLOSE, flags);
    closeButton_.SetImage(&SomSkin.closeButton);
    title_.Create(this, 0, 0, ID_TITLE, flags);
    title_.SetFont(SomSkin.fonts.Get(3));
    title_.SetText(L"{&#color=0xffffff}Vorla游戏下载器");
    status_.Create(this, 0, 0, ID_STATUS, flags);
    status_.SetText(L"正在初始化...");
    progress_.SetCapWidth(8);
    progress_.Create(this, 0, 0, 339, 17, ID_PROGRESS, flags);
    progress_.SetRange(0, 100);
    progress_.SetPosition(position_);
    title_.SetPos(17, 17);
    status_.SetPos(162, 75);
    progress_.SetPos(37, 114);
    closeButton_.SetPos(369, 16);
    RECT client;
    GetClientRect(&client);
    ::SetWindowRgn(m_hWnd, CreateCutCornerRegion(client.right, client.bottom, 9), FALSE);
}

DWORD WINAPI CMainDlg::LoadingThread(void* window) {
    const HWND hwnd = static_cast<HWND>(window);
    CallBack callback(hwnd);
    const int result = TheDownloaderConfig().Load(&callback);
    // A window closed meanwhile no longer exists: the report is then lost.
    ::SendMessageW(hwnd, WM_CONFIG_INIT, static_cast<WPARAM>(result), LOAD_REPORT_FINISHED);
    return 0;
}

void CMainDlg::OnConfigInit(WPARAM wp, LPARAM lp) {
    if (lp == LOAD_REPORT_PROGRESS) {
        position_ = static_cast<int>(wp);
        progress_.SetPosition(position_);
    } else if (lp == LOAD_REPORT_FINISHED) {
        if (CStatisticsMgr* statistics = TheStatisticsMgr()) statistics->ReportConfigLoaded();
        SetTimer(IDT_INIT_FINISH, kFinishTickMs);
        loadResult_ = static_cast<int>(wp);
    }
}

StartupOutcome CMainDlg::Decide() const {
    CDownloaderConfig& config = TheDownloaderConfig();
    const bool complete = IsConfigurationComplete(GetInstallerFileName(), config.GetGameSize(), config.GetGameId(),
                                                  config.GetGameDownloadLink());
    const bool outdated = IsDownloaderOutdated(config.GetVersion(), config.GetNewVersion());
    return DecideStartup(loadResult_, complete, outdated);
}

void CMainDlg::OnFinishingTick() {
    if (position_ >= kDecisionPosition) {
        const std::wstring title = FormatWindowTitle(TheDownloaderConfig().GetGameName());
        KillTimer(IDT_INIT_FINISH);
        const StartupOutcome outcome = Decide();
        if (outcome != StartupOutcome::Failure) progress_.SetPosition(100);
        // The next window is made and shown first and this one goes right
        // after, in the same step: the screen never goes without a window of
        // the program, however long the next window takes to set itself up.
        switch (outcome) {
            case StartupOutcome::Failure:
                OpenFailurePrompt(title);
                break;
            case StartupOutcome::Outdated:
                OpenOutdatedPrompt(title);
                break;
            case StartupOutcome::DownloadPage:
                OpenDownloadPage(title, TheDownloaderConfig().GetSkinPath());
                break;
            case StartupOutcome::DownloadPageOwnBackground:
                OpenDownloadPage(title, std::wstring());
                break;
        }
        DestroyWindow();
        return;
    }
    position_ = NextFinishingPosition(position_);
    progress_.SetPosition(position_);
}

void CMainDlg::OpenDownloadPage(const std::wstring& title, const std::wstring& skinFile) {
    ShowDownloadPage(title, skinFile);
}

void CMainDlg::OpenOutdatedPrompt(const std::wstring& title) { ShowOutdatedPrompt(title); }

void CMainDlg::OpenFailurePrompt(const std::wstring& title) { ShowStartupFailurePrompt(title); }
