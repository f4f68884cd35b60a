#include "tests/ui/GalleryWindow.h"

#include "ui/SomSkin.h"

namespace {

constexpr COLORREF kGalleryBackground = RGB(58, 64, 76);
constexpr COLORREF kPageText = 0xECCABA;

}  // namespace

GalleryWindow::GalleryWindow()
    : pageBackground_(IDR_PNG_PAGE_BACKGROUND, 1),
      startFace_(IDR_PNG_START_DOWNLOAD, 3),
      continueFace_(IDR_PNG_CONTINUE_DOWNLOAD, 3),
      pauseFace_(IDR_PNG_PAUSE_DOWNLOAD, 3),
      installFace_(IDR_PNG_INSTALL, 3),
      checkBoxImage_(IDR_PNG_CHECK_BOX, 9),
      fallbackPanel_(IDR_PNG_FALLBACK_PANEL, 1),
      startupPanel_(IDR_PNG_DIALOG_FRAME, 1),
      whitePanel_(IDR_PNG_WHITE_PANEL, 1),
      diskIcon_(IDR_PNG_DISK_WARNING, 1),
      titleStrip_(IDR_PNG_TITLE_STRIP, 1),
      titleFont_(CreateSomFont(CSomFontTable::FaceForVersion(SomOsMajorVersion()), 13, 700)),
      underlineFont_(CreateSomFont(L"宋体", 13, 0, true)),
      checkBox_(&checkBoxImage_, false),
      radioBox_(&checkBoxImage_, true) {}

GalleryWindow::~GalleryWindow() {
    if (m_hWnd) DestroyWindow();
}

HWND GalleryWindow::CreateGallery(bool visible) {
    RECT rect{0, 0, kWidth, kHeight};
    return Create(nullptr, rect, L"Vorla 皮肤样张", WS_POPUP | (visible ? WS_VISIBLE : 0));
}

BOOL GalleryWindow::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    switch (msg) {
    case WM_CREATE:
        CreateElements();
        result = 0;
        return TRUE;
    case WM_COMMAND:
        commands.push_back(LOWORD(wp));
        result = 0;
        return TRUE;
    case WM_PAINT:
        ++paints;
        break;
    case WM_KEYDOWN:
        if (wp == VK_ESCAPE) ::PostQuitMessage(0);
        break;
    default:
        break;
    }
    return CSomWndManager::ProcessWindowMessage(hwnd, msg, wp, lp, result);
}

CSomTextWnd& GalleryWindow::AddText(int x, int y, const wchar_t* markup, COLORREF colour, HFONT font,
                                    int maxWidth) {
    texts_.push_back(std::make_unique<CSomTextWnd>());
    CSomTextWnd& text = *texts_.back();
    if (font) text.SetFont(font);
    text.SetMaxWidth(maxWidth);
    text.SetTextColor(colour);
    text.Create(this, x, y, 0, SOMF_VISIBLE | SOMF_AUTOSIZE);
    text.SetText(markup);
    return text;
}

void GalleryWindow::CreateElements() {
    const int px = kPageX;
    const int py = kPageY;
    const UINT shown = SOMF_VISIBLE | SOMF_AUTOSIZE;

    // The download page.
    AddText(px + 53, py + 22, L"{&#color=0xffffff}Vorla游戏下载器-示例游戏专版", 0, titleFont_.get());
    closeButton_.Create(this, px + 643, py + 26, 13, shown);
    closeButton_.SetImage(&SomSkin.closeButton);
    minimizeButton_.Create(this, px + 615, py + 26, 14, shown);
    minimizeButton_.SetImage(&SomSkin.minimizeButton);
    menuButton_.Create(this, px + 588, py + 26, 17, shown);
    menuButton_.SetImage(&SomSkin.menuButton);
    AddText(px + 21, py + 315, L"保存路径：", kPageText);
    AddText(px + 87, py + 315, L"{&#color=0x888888}请点击下载按钮，选择游戏保存目录", kPageText, nullptr, 129);
    CSomTextWnd& change = AddText(px + 217, py + 315, L"{&#a=button:15}{&#acolor=15518394}更改", kPageText,
                                  underlineFont_.get());
    change.SetLinkColors(0xECCABA, 0x2B85FF);
    AddText(px + 408, py + 315, L"速度：128.0KB/s", kPageText);
    AddText(px + 21, py + 342, L"下载进度：", kPageText);
    pageProgress_.Create(this, px + 87, py + 342, 420, 17, 4, shown);
    pageProgress_.SetCapWidth(9);
    pageProgress_.SetPosition(42);
    pageProgress_.SetCaption(L"820.5MB/1.95GB");
    actionButton_.Create(this, px + 520, py + 319, 10, shown);
    actionButton_.SetImage(&startFace_);
    checkBox_.Create(this, px + 22, py + 366, 7, shown);
    checkBox_.SetCheck(true);
    AddText(px + 44, py + 367, L"安装Vorla游戏Keldor", kPageText);
    CSomTextWnd& promotion = AddText(px + 21, py + 392,
                                     L"{&#a=button:19}{&#acolor=89257}免费领取特权卡，激活码，快来Vorla发卡平台！",
                                     0x015CA9, nullptr, 450);
    promotion.SetLinkColors(0x015CA9, 0x012CA8);
    AddText(px + 470, py + 392, L"版本 1.1.0.1005", kPageText);

    // Every captioned button strip of the skin.
    CSomBitmap* small[10] = {&SomSkin.closeTextButton,    &SomSkin.changeFolderButton, &SomSkin.downloadButton,
                             &SomSkin.redownloadButton,   &SomSkin.retryButton,        &SomSkin.continueButton,
                             &SomSkin.installNowButton,   &SomSkin.feedbackButton,     &SomSkin.tryInstallButton,
                             &SomSkin.installLaterButton};
    for (int i = 0; i < 10; ++i) {
        smallButtons_[i].Create(this, 700 + (i % 2) * 90, 10 + (i / 2) * 40, 100 + i, shown);
        smallButtons_[i].SetImage(small[i]);
    }
    CSomBitmap* big[3] = {&continueFace_, &pauseFace_, &installFace_};
    for (int i = 0; i < 3; ++i) {
        bigButtons_[i].Create(this, 890 + (i % 2) * 150, 10 + (i / 2) * 50, 200 + i, shown);
        bigButtons_[i].SetImage(big[i]);
    }
    AddText(890, 120, L"{&#font=16}{&#color=0xE0B040}Vorla", 0);
    AddText(890, 160, L"{&#font=14}{&#color=0xffffff}皮肤{&#/color}{&#font=8}{&#color=0x66CCFF} 与 {&#font=5}元素",
            0);
    CSomTextWnd& links =
        AddText(890, 190, L"链接：{&#a=button:300}命令{&#/a} 与 {&#a=http://127.0.0.1:17223/}网页", 0xF0F0F0);
    links.SetLinkColors(0xFFB050, 0x80D0FF);
    radioBox_.Create(this, 890, 216, 8, shown);
    radioBox_.SetCaption(L"单选");
    radioBox_.SetCheck(true);

    // A prompt on the dialog background.
    AddText(40, 446, L"{&#color=0xffffff}提示", 0, titleFont_.get());
    AddText(60, 500, L"下载失败，请检查网络连接后重试。", 0x333333);
    AddText(60, 524, L"{&#color=0x888888}错误代码：{&#color=0x0000ff}5", 0);
    promptButtons_[0].Create(this, 236, 601, 401, shown);
    promptButtons_[0].SetImage(&SomSkin.feedbackButton);
    promptButtons_[1].Create(this, 322, 601, 402, shown);
    promptButtons_[1].SetImage(&SomSkin.closeTextButton);
    detailsButton_.Create(this, 24, 601, 90, 30, 400, SOMF_VISIBLE);
    detailsButton_.SetCaption(L"查看详情 »");
    detailsButton_.SetCaptionColor(0xE08A2B);
    detailsButton_.SetCaptionFont(SomSkin.fonts.Get(4));

    // The start-up panel with its bar.
    AddText(450, 520, L"正在获取游戏配置，请稍候…", 0x333333);
    startupProgress_.Create(this, 450, 590, 364, 17, 5, shown);
    startupProgress_.SetCapWidth(8);
    startupProgress_.SetPosition(67);
}

void GalleryWindow::DrawBackground(HDC dc, const RECT*) {
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    ScopedBrush brush(::CreateSolidBrush(kGalleryBackground));
    ::FillRect(dc, &client, brush.get());

    pageBackground_.Draw(dc, kPageX, kPageY, 0);
    fallbackPanel_.Draw(dc, kPageX + 20, kPageY + 56, 0);

    SomSkin.dialogBackground.Draw(dc, 10, 440, 0);
    SomSkin.warningIcon.Draw(dc, 24, 494, 0);
    SomSkin.closeButton.Draw(dc, 10 + 404 - 27, 445, 0);

    startupPanel_.Draw(dc, 430, 440, 0);
    SomSkin.closeButton.Draw(dc, 430 + 404 - 27, 445, 0);
    whitePanel_.Draw(dc, 850, 440, 0);
    titleStrip_.Draw(dc, 900, 500, 0);
    diskIcon_.Draw(dc, 970, 535, 0);

    // The nine-part frame stretched, and every strip with all its frames.
    SomSkin.dialogFrame.DrawStretched(dc, 10, 660, 600, 160, 0);
    startFace_.Draw(dc, 630, 660, 0);
    startFace_.Draw(dc, 765, 660, 1);
    startFace_.Draw(dc, 900, 660, 2);
    int y = 705;
    for (CSomBitmap* strip : {&continueFace_, &pauseFace_, &installFace_}) {
        for (int f = 0; f < 3; ++f) strip->Draw(dc, 630 + 135 * f, y, f);
        y += 45;
    }
    for (int f = 0; f < 9; ++f) checkBoxImage_.Draw(dc, 20 + 20 * f, 835, f);
    int x = 210;
    for (CSomBitmap* strip : {&SomSkin.closeButton, &SomSkin.minimizeButton, &SomSkin.menuButton}) {
        for (int f = 0; f < 3; ++f) strip->Draw(dc, x + 22 * f, 832, f);
        x += 75;
    }
    SomSkin.gemIcon.Draw(dc, 440, 832, 0);
    SomSkin.gemIcon2.Draw(dc, 465, 832, 0);
    SomSkin.chestIcon.Draw(dc, 490, 834, 0);
    SomSkin.warningIcon.Draw(dc, 515, 830, 0);
    for (int f = 0; f < 3; ++f) SomSkin.closeTextButton.Draw(dc, 20 + 82 * f, 870, f);
    for (int f = 0; f < 3; ++f) SomSkin.feedbackButton.Draw(dc, 280 + 82 * f, 870, f);
}
