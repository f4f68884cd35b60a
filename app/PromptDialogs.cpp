#include "app/PromptDialogs.h"

#include "config/DownloaderConfig.h"
#include "ui/SomSkin.h"
#include "base/WebAddress.h"

#include <shellapi.h>

#include <cwchar>
#include <vector>

namespace {

constexpr int kActionX = 222;
constexpr int kActionY = 158;
constexpr int kLinkX = 266;
constexpr int kLinkY = 91;
constexpr int kLinkFontEntry = 14;

std::wstring FormatInstallMessage(const std::wstring& gameName) {
    return gameName + L"下载完成，是否立即安装？";
}

}  // namespace

CActionPromptDlg::CActionPromptDlg(CSomBitmap* actionImage, const std::wstring& text) : actionImage_(actionImage) {
    SetText(text);
}

void CActionPromptDlg::CreateExtraControls() {
    actionButton_.Create(this, kActionX, kActionY, ID_ACTION, SOMF_VISIBLE | SOMF_AUTOSIZE);
    actionButton_.SetImage(actionImage_);
}

void CActionPromptDlg::OnExtraCommand(int id) {
    if (id == ID_ACTION) Close(kResultAction);
}

CDirErrDlg::CDirErrDlg(const std::wstring& message) : CActionPromptDlg(&SomSkin.changeFolderButton, message) {}

CFileDamagedDlg::CFileDamagedDlg() : CActionPromptDlg(&SomSkin.redownloadButton, L"下载文件被破坏，请重新下载!") {}

CDirOpenFailedDlg::CDirOpenFailedDlg() {
    SetText(L"打开目录失败，目录不存在或已损坏！");
}

CPublisherRefusedDlg::CPublisherRefusedDlg() {
    SetText(L"安装程序不是来自预期的发行者，为了您的安全，已阻止运行！");
}

CFileCheckFailedDlg::CFileCheckFailedDlg()
    : CActionPromptDlg(&SomSkin.continueButton, L"文件安全校验失败，更多帮助，请") {}

void CFileCheckFailedDlg::CreateExtraControls() {
    CActionPromptDlg::CreateExtraControls();
    wchar_t markup[80];
    std::swprintf(markup, 80, L"{&#a=button:%d}{&#acolor=%d}点击反馈", static_cast<int>(ID_FEEDBACK_LINK),
                  static_cast<int>(kLinkColour));
    feedbackLink_.Create(this, kLinkX, kLinkY, ID_FEEDBACK_LINK, SOMF_VISIBLE | SOMF_AUTOSIZE);
    feedbackLink_.SetFont(SomSkin.fonts.Get(kLinkFontEntry));
    feedbackLink_.SetLinkColors(kLinkColour, kLinkHoverColour);
    feedbackLink_.SetTextColor(kLinkColour);
    feedbackLink_.SetText(markup);
}

void CFileCheckFailedDlg::OnExtraCommand(int id) {
    if (id == ID_FEEDBACK_LINK) {
        Close(kResultFeedback);
        return;
    }
    CActionPromptDlg::OnExtraCommand(id);
}

CDownLoadFailedDlg::CDownLoadFailedDlg()
    : CActionPromptDlg(&SomSkin.feedbackButton, L"下载失败，更多帮助，请点击反馈按钮") {}

CInstallGameDlg::CInstallGameDlg() : CInstallGameDlg(TheDownloaderConfig().GetGameName()) {}

CInstallGameDlg::CInstallGameDlg(const std::wstring& gameName)
    : CActionPromptDlg(&SomSkin.installNowButton, FormatInstallMessage(gameName)) {
    SetWindowName(L"DownloadFinished");
}

CWndClassInfo& CInstallGameDlg::GetWndClassInfo() {
    // Named so that other tools can find the finished prompt; the style,
    // brush and cursor are the standard ones.
    static CWndClassInfo info = [] {
        CWndClassInfo named;
        named.className = L"DownLoadFinished";
        named.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
        named.background = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        named.cursor = IDC_ARROW;
        return named;
    }();
    return info;
}

COlderVersionDlg::COlderVersionDlg() : CActionPromptDlg(&SomSkin.downloadButton, L"下载器版本过旧，请重新下载！") {}

void COlderVersionDlg::OnExtraCommand(int id) {
    if (id != ID_ACTION) return;
    OpenLink(link_);
    Close(kResultAction);
}

bool COlderVersionDlg::OpenLink(const std::wstring& url) {
    // The link comes from a configuration fetched over plain HTTP: never
    // hand the shell a program, a file or another protocol's address.
    if (!IsWebAddress(url)) return false;
    const auto code = reinterpret_cast<INT_PTR>(::ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOW));
    return code > 32;
}

CInitialFailedDlg::CInitialFailedDlg()
    : CActionPromptDlg(&SomSkin.retryButton,
                       L"下载器初始化失败，请检测您的网络是否连接正常。可以点击重试，尝试再次初始化!") {}

void CInitialFailedDlg::OnExtraCommand(int id) {
    if (id != ID_ACTION) return;
    if (retry_) retry_->RetryStartup();
    Close(kResultAction);
}
