#include "app/DLDlg.h"

#include "app/AppMessages.h"
#include "config/BuildConfig.h"
#include "engine/DownloadManager.h"
#include "config/DownloaderConfig.h"
#include "app/Entry.h"
#include "base/FormatText.h"
#include "app/MainDlg.h"
#include "app/ProgressFigures.h"
#include "ui/SomFontTable.h"
#include "ui/SomMarkup.h"
#include "ui/SomSkin.h"
#include "report/StatisticsMgr.h"
#include "system/LinkFileName.h"
#include "system/SystemUtils.h"

#include <shellapi.h>

#include <cwchar>

namespace {

// Cyan areas of the background are cut out of the layered window.
const COLORREF kColourKey = RGB(0, 255, 255);
const COLORREF kTextColour = 0xECCABA;
const COLORREF kPromotionColour = 0x015CA9;
const COLORREF kPromotionHoverColour = 0x012CA8;
const COLORREF kFolderLinkHoverColour = 0x2B85FF;
const COLORREF kOpenFolderMarkupColour = 0xFE8034;
const int kWideText = 450;
// Width of the rounded ends of the progress bar's track and fill images.
const int kProgressCapWidth = 9;
const RECT kWebPaneRect = {20, 56, 660, 301};

HINSTANCE ProgramInstance() { return g_hInstance ? g_hInstance : ::GetModuleHandleW(nullptr); }

// Sent to every top-level window when Explorer (re)creates the taskbar.
UINT TaskbarCreatedMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

// Sent to a window once the shell has made its taskbar button.
UINT TaskbarButtonCreatedMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"TaskbarButtonCreated");
    return message;
}

TaskbarProgress FaceTaskbarState(CDLDlg::Face face) {
    switch (face) {
        case CDLDlg::Face::Pause: return TaskbarProgress::Normal;
        case CDLDlg::Face::Continue: return TaskbarProgress::Paused;
        default: return TaskbarProgress::None;
    }
}

}  // namespace

HRGN CreatePageRegion() {
    const POINT vertices[] = {{7, 0},    {286, 0},   {295, 10}, {671, 10}, {679, 19},
                              {679, 411}, {671, 419}, {8, 419},  {0, 411},  {0, 0}};
    return ::CreatePolygonRgn(vertices, 10, ALTERNATE);
}

CDLDlg::CDLDlg() : CDLDlg(std::wstring()) {}

CDLDlg::CDLDlg(const std::wstring& backgroundFile)
    : background_(backgroundFile.empty() ? new CSomBitmap(IDR_PNG_PAGE_BACKGROUND, 1)
                                         : new CSomBitmap(backgroundFile.c_str(), 1)),
      builtInBackground_(backgroundFile.empty()),
      startImage_(IDR_PNG_START_DOWNLOAD, 3),
      continueImage_(IDR_PNG_CONTINUE_DOWNLOAD, 3),
      pauseImage_(IDR_PNG_PAUSE_DOWNLOAD, 3),
      installImage_(IDR_PNG_INSTALL, 3),
      checkBoxImage_(IDR_PNG_CHECK_BOX, 9) {}

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

const CDownloaderConfig& CDLDlg::Config() const {
    return services_.config ? *services_.config : TheDownloaderConfig();
}

std::wstring CDLDlg::CompanionSetupName() const { return LinkFileName(Config().GetKeldorDownloaderLink()); }

std::wstring CDLDlg::TargetPath() const { return (location_ ? location_->Folder() : std::wstring()) + fileName_; }

BOOL CDLDlg::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    BOOL handled = TRUE;
    result = 0;
    ++dispatchDepth_;
    switch (msg) {
        case WM_SIZE:
            break;
        case WM_CREATE:
            OnCreate();
            break;
        case WM_TIMER:
            // The page's own timers; any other (the element manager's hover
            // check above all) belongs to the toolkit.
            if (IsPageTimer(wp)) {
                OnTimer(wp);
            } else {
                handled = CSomWndManager::ProcessWindowMessage(hwnd, msg, wp, lp, result);
            }
            break;
        case WM_CLOSE:
            SendMessage(WM_COMMAND, ID_CLOSE, 0);
            break;
        case WM_NCHITTEST:
            result = HTCLIENT;
            break;
        case WM_COMMAND:
            OnCommand(LOWORD(wp));
            break;
        case WM_TRAYICON:
            OnTrayIcon(wp, lp);
            break;
        case WM_WEB_FALLBACK:
            webPane_.OnWebFallback();
            break;
        case WM_LBUTTONDOWN: {
            // The elements see the press first. One that no button or link
            // took drags the page; a press on a button must not, since the
            // move loop would swallow its release.
            handled = CSomWndManager::ProcessWindowMessage(hwnd, msg, wp, lp, result);
            if (!GetCaptureElement()) {
                POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
                ::ClientToScreen(m_hWnd, &pt);
                PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(pt.x, pt.y));
            }
            break;
        }
        case WM_DESTROY:
            // The shell's taskbar object goes while COM still runs here.
            if (taskbarAttached_) services_.taskbar->Detach();
            taskbarAttached_ = false;
            handled = CSomWndManager::ProcessWindowMessage(hwnd, msg, wp, lp, result);
            break;
        default:
            if (msg == TaskbarCreatedMessage()) {
                OnTaskbarCreated();
            } else if (msg == TaskbarButtonCreatedMessage()) {
                OnTaskbarButtonCreated();
            } else {
                handled = CSomWndManager::ProcessWindowMessage(hwnd, msg, wp, lp, result);
            }
            break;
    }
    --dispatchDepth_;
    // An exit chosen while a prompt ran is carried out once the routine that
    // raised the prompt has returned, that is, when the outermost message
    // handler of the page ends.
    if (exitPending_ && promptDepth_ == 0 && dispatchDepth_ == 0 && !exited_) Exit();
    return handled;
}

void CDLDlg::DrawBackground(HDC dc, const RECT*) {
    RECT client;
    GetClientRect(&client);
    const int width = background_->GetFrameWidth();
    const int height = background_->GetHeight();
    if (width >= client.right && height >= client.bottom) {
        // At its natural size, cut at the client edge: resampling the 680 x
        // 420 skin onto the 679 x 419 page would blur it and leave edge
        // pixels that no longer match the colour key exactly.
        background_->DrawPart(dc, 0, 0, client.right, client.bottom, 0, 0, 0);
    } else {
        // A fetched skin smaller than the page still covers all of it.
        background_->DrawStretched(dc, 0, 0, client.right, client.bottom, 0);
    }
}

void CDLDlg::OnCreate() {
    CompletePageServices(services_);
    const CDownloaderConfig& config = Config();
    state_ = CStateFile(services_.stateFilePath);
    fileName_ = LinkFileName(Config().GetGameDownloadLink());
    checks_.reset(new CFolderChecks(*services_.volumes, fileName_, config.GetGameSize()));
    location_.reset(new CSaveLocation(*checks_, *services_.folderDialog, *services_.prompts));

    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, ::GetWindowLongPtrW(m_hWnd, GWL_STYLE) | WS_MINIMIZEBOX);
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(::LoadIconW(ProgramInstance(), MAKEINTRESOURCEW(119))));
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, kWidth, kHeight, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, ::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE) | WS_EX_LAYERED);
    ::SetLayeredWindowAttributes(m_hWnd, kColourKey, 255, LWA_COLORKEY | LWA_ALPHA);
    ::SetWindowRgn(m_hWnd, CreatePageRegion(), FALSE);
    CenterWindow();

    CreateFonts();
    LayoutControls();
    webPane_.Create(m_hWnd, kWebPaneRect, config.GetEmbedLink2(), services_.isOnline());
    ShowFace(Face::Start);

    services_.engine->Init(0);
    const std::wstring& seed = config.GetSeedUrl();
    services_.engine->SetP2spOption(P2SP_OPTION_SEED_URL, seed.c_str(), static_cast<int>(seed.size() * 2));
    // Peers reach this copy on every interface, on the first free port of the
    // range: said here, not left to the engine's default (see the README for
    // what a player sees).
    static const wchar_t kListen[] = L"6881-6889";
    services_.engine->SetP2spOption(P2SP_OPTION_LISTEN, kListen, static_cast<int>(sizeof(kListen) - sizeof(wchar_t)));

    SetUpPage();
}

void CDLDlg::CreateFonts() {
    regularFont_.reset(CreateSomFont(L"宋体", 12, 0));
    underlinedFont_.reset(CreateSomFont(L"宋体", 13, 0, true));
    boldUnderlinedFont_.reset(CreateSomFont(L"宋体", 12, FW_BOLD, true));
    titleFont_.reset(CreateSomFont(SomOsMajorVersion() > 5 ? L"微软雅黑" : L"宋体", 13, FW_BOLD));
}

void CDLDlg::LayoutControls() {
    const CDownloaderConfig& config = Config();
    const UINT shown = SOMF_VISIBLE | SOMF_AUTOSIZE;

    struct ButtonItem {
        CSomButton4& button;
        int x, y, id;
        CSomBitmap* image;
    };
    const ButtonItem buttons[] = {
        {closeButton_, 643, 26, ID_CLOSE, &SomSkin.closeButton},
        {minimizeButton_, 615, 26, ID_MINIMIZE, &SomSkin.minimizeButton},
        {feedbackButton_, 588, 26, ID_FEEDBACK, &SomSkin.menuButton},
        {startButton_, 520, 319, ID_START, &startImage_},
        {continueButton_, 520, 319, ID_CONTINUE, &continueImage_},
        {pauseButton_, 520, 319, ID_PAUSE, &pauseImage_},
        {installButton_, 520, 319, ID_INSTALL, &installImage_},
    };
    for (const ButtonItem& item : buttons) {
        item.button.Create(this, item.x, item.y, item.id, shown);
        item.button.SetImage(item.image);
    }

    title_.Create(this, 53, 22, ID_TITLE, shown);
    title_.SetFont(titleFont_.get());
    // Configured texts go into markup as plain text: a configuration must not
    // be able to make a link that sends the page a command.
    title_.SetText((L"{&#color=0xffffff}" + FormatWindowTitle(EscapeSomMarkupText(config.GetGameName()))).c_str());

    const std::wstring promotionText =
        config.GetTextPromotionTitle().empty() ? L"免费领取特权卡，激活码，快来Vorla发卡平台！" : config.GetTextPromotionTitle();
    promotion_.Create(this, 21, 392, ID_PROMOTION, shown);
    promotion_.SetFont(regularFont_.get());
    promotion_.SetLinkColors(kPromotionColour, kPromotionHoverColour);
    promotion_.SetTextColor(kPromotionColour);
    promotion_.SetMaxWidth(kWideText);
    promotion_.SetText(FormatText(L"{&#a=button:%d}{&#acolor=%d}%ls", ID_PROMOTION, static_cast<int>(kPromotionColour),
                              EscapeSomMarkupText(promotionText).c_str())
                           .c_str());

    struct FolderLink {
        CSomTextWnd& link;
        int id;
        const wchar_t* text;
        COLORREF markupColour;  // the colour the link's markup names
        bool visible;
    };
    const FolderLink links[] = {{openFolder_, ID_OPEN_FOLDER, L"打开", kOpenFolderMarkupColour, true},
                                {changeFolder_, ID_CHANGE_FOLDER, L"更改", kTextColour, false}};
    for (const FolderLink& item : links) {
        item.link.Create(this, 217, 315, item.id, item.visible ? shown : SOMF_AUTOSIZE);
        item.link.SetFont(underlinedFont_.get());
        item.link.SetLinkColors(kTextColour, kFolderLinkHoverColour);
        item.link.SetTextColor(kTextColour);
        item.link.SetText(
            FormatText(L"{&#a=button:%d}{&#acolor=%d}%ls", item.id, static_cast<int>(item.markupColour), item.text)
                .c_str());
    }

    // The companion offer; without a companion link there is nothing to offer.
    const bool offered = !CompanionSetupName().empty();
    checkBox_.reset(new CSomCheckBox(&checkBoxImage_, false));
    checkBox_->Create(this, 22, 366, ID_CHECK_BOX, offered ? shown : SOMF_AUTOSIZE);
    checkBox_->SetCheck(offered);
    const std::wstring tip = config.GetKeldorInstallTip().empty() ? L"安装Vorla游戏Keldor" : config.GetKeldorInstallTip();
    checkLabel_.Create(this, 44, 367, ID_LABEL, offered ? shown : SOMF_AUTOSIZE);
    checkLabel_.SetMaxWidth(kWideText);
    checkLabel_.SetText(EscapeSomMarkupText(tip).c_str());

    version_.Create(this, 470, 392, ID_LABEL, shown);
    version_.SetMaxWidth(190);
    version_.SetText(EscapeSomMarkupText(config.GetGameVersion()).c_str());

    folder_.Create(this, 87, 315, ID_FOLDER_TEXT, shown);
    folder_.SetMaxWidth(129);
    SetFolderText(L"{&#color=0x888888}请点击下载按钮，选择游戏保存目录");

    progressLabel_.Create(this, 21, 342, ID_FOLDER_LABEL_TEXT, shown);
    progressLabel_.SetText(L"下载进度：");
    saveLabel_.Create(this, 21, 315, ID_SAVE_LABEL_TEXT, shown);
    saveLabel_.SetText(L"保存路径：");
    speed_.Create(this, 408, 315, ID_SPEED_TEXT, shown);
    SetSpeedText(L"速度：");

    for (CSomTextWnd* text : {&checkLabel_, &version_, &folder_, &progressLabel_, &saveLabel_, &speed_}) {
        text->SetFont(regularFont_.get());
        text->SetTextColor(kTextColour);
    }

    progress_.Create(this, 87, 342, 420, 17, ID_PROGRESS, SOMF_VISIBLE);
    progress_.SetCapWidth(kProgressCapWidth);
    progress_.SetRange(0, 100);
    progress_.SetPosition(0);
}

void CDLDlg::ShowFace(Face face) {
    face_ = face;
    BeginUpdate();
    startButton_.SetVisible(face == Face::Start);
    pauseButton_.SetVisible(face == Face::Pause);
    continueButton_.SetVisible(face == Face::Continue);
    installButton_.SetVisible(face == Face::Install);
    EndUpdate();
    ShowTaskbarProgress(FaceTaskbarState(face), taskbarPercentage_);
}

void CDLDlg::ShowPosition(int percentage) {
    progress_.SetPosition(percentage);
    ShowTaskbarProgress(taskbarState_, static_cast<unsigned>(progress_.GetPosition()));
}

void CDLDlg::OnTaskbarButtonCreated() {
    taskbarAttached_ = services_.taskbar->Attach(m_hWnd);
    if (taskbarAttached_) services_.taskbar->Show(m_hWnd, taskbarState_, taskbarPercentage_);
}

void CDLDlg::ShowTaskbarProgress(TaskbarProgress state, unsigned percentage) {
    if (state == taskbarState_ && percentage == taskbarPercentage_) return;
    taskbarState_ = state;
    taskbarPercentage_ = percentage;
    if (taskbarAttached_) services_.taskbar->Show(m_hWnd, state, percentage);
}

void CDLDlg::SetSpeedText(const std::wstring& text) {
    if (text == speedText_) return;
    speedText_ = text;
    speed_.SetText(text.c_str());
}

void CDLDlg::SetFolderText(const std::wstring& markup) {
    folderText_ = markup;
    folder_.SetText(markup.c_str());
}

void CDLDlg::OnCommand(WORD id) {
    switch (id) {
        case ID_CLOSE: MinimizeToTray(); break;
        case ID_MINIMIZE: ShowWindow(SW_SHOWMINIMIZED); break;
        case ID_FEEDBACK: services_.openLink(VORLA_FORUM_URL); break;
        case ID_PROMOTION: {
            const std::wstring& link = Config().GetTextPromotionLink();
            services_.openLink(link.empty() ? std::wstring(VORLA_HOME_URL) : link);
            break;
        }
        case ID_START: OnStart(); break;
        case ID_PAUSE:
            PauseTasks();
            SetSpeedText(kSpeedAtRest);
            ShowFace(Face::Continue);
            break;
        case ID_CONTINUE: OnContinue(); break;
        case ID_INSTALL: OnInstall(); break;
        case ID_OPEN_FOLDER: OnOpenFolder(); break;
        case ID_CHANGE_FOLDER: OnChangeFolder(); break;
        case ID_CHECK_BOX: OnCheckBox(); break;
        case ID_SHOW_DOWNLOADER: RestoreWindow(); break;
        case ID_EXIT_DOWNLOADER:
            if (promptDepth_ > 0) {
                // A prompt's nested loop would swallow the quit, and the
                // routine that raised it would go on after the engine is shut
                // down: close every prompt and the folder dialog, and exit
                // once the outermost routine returns.
                exitPending_ = true;
                services_.prompts->CloseAll();
                services_.closeOwnedDialogs(m_hWnd);
            } else {
                Exit();
            }
            break;
        default: break;
    }
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
    if (!trayIcon_) trayIcon_ = NotifyTrayIcon(NIM_ADD);
    if (trayIcon_) {
        ShowWindow(SW_HIDE);
    } else {
        // Hidden without an icon, the page could not be found again: it
        // stays on the taskbar instead.
        ShowWindow(SW_SHOWMINIMIZED);
    }
}

bool CDLDlg::NotifyTrayIcon(DWORD message) {
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof(icon);
    icon.hWnd = m_hWnd;
    icon.uID = kTrayIconId;
    icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    icon.uCallbackMessage = WM_TRAYICON;
    icon.hIcon = ::LoadIconW(ProgramInstance(), MAKEINTRESOURCEW(119));
    const std::wstring tip = FormatWindowTitle(Config().GetGameName());
    const size_t capacity = sizeof(icon.szTip) / sizeof(icon.szTip[0]);
    tip.copy(icon.szTip, capacity - 1);  // cut to the tip field, terminated by the zeroed record
    return services_.notifyIcon(message, icon);
}

void CDLDlg::OnTaskbarCreated() {
    if (!trayIcon_) return;
    // The icon is added again; where the shell kept it, it is only updated.
    trayIcon_ = NotifyTrayIcon(NIM_ADD) || NotifyTrayIcon(NIM_MODIFY);
    if (!trayIcon_ && !::IsWindowVisible(m_hWnd)) ShowWindow(SW_SHOWMINNOACTIVE);
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
        // The menu closes on a click elsewhere only when its owner is the
        // foreground window, and only after that window sees one more
        // message once the menu has returned.
        ::SetForegroundWindow(m_hWnd);
        services_.trackMenu(menu, m_hWnd, cursor);
        PostMessage(WM_NULL, 0, 0);
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
    services_.notifyIcon(NIM_DELETE, icon);
    trayIcon_ = false;
}

void CDLDlg::Exit() {
    if (exited_) return;
    exited_ = true;
    StopAll();
    RemoveTrayIcon();
    DestroyWindow();
    ::PostQuitMessage(0);
}
