#include "app/PromptDlg.h"

#include "app/MessageLayout.h"
#include "ui/SomSkin.h"

#include <vector>

namespace {

constexpr int kCloseX = 369;
constexpr int kCloseY = 16;
constexpr int kDismissX = 311;
constexpr int kDismissY = 158;
constexpr int kTitleX = 42;
constexpr int kTitleY = 18;
constexpr int kIconX = 14;
constexpr int kIconY = 14;
constexpr int kTitleFontEntry = 3;
constexpr int kMessageFontHeight = 12;

}  // namespace

CPromptDlg::CPromptDlg() : messageFont_(CreateSomFont(L"宋体", kMessageFontHeight, 0)) {}

CPromptDlg::~CPromptDlg() {
    if (m_hWnd && ::IsWindow(m_hWnd)) DestroyWindow();
}

void CPromptDlg::SetText(const std::wstring& text) {
    if (text == text_) return;
    text_ = text;
    if (m_hWnd) Invalidate();
}

HWND CPromptDlg::CreatePrompt(HWND owner, DWORD style) {
    result_ = kResultOther;
    const RECT rect{0, 0, kWidth, kHeight};
    if (!Create(owner, rect, windowName_.c_str(), style, 0)) return nullptr;
    CenterWindow(owner);
    return m_hWnd;
}

int CPromptDlg::RunModal(HWND owner) {
    if (!m_hWnd && !CreatePrompt(owner, WS_POPUP | WS_VISIBLE)) return result_;
    modal_ = true;
    // EnableWindow answers whether the window was disabled already (by an
    // outer prompt, say); only what this loop disabled is enabled again.
    const bool disabledHere = owner && !::EnableWindow(owner, FALSE);

    MSG msg{};
    while (m_hWnd) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // Not ours (a prompt inside RunModal never posts one): the outer
            // loop must see it too, so the program still ends.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == -1) break;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    if (m_hWnd) DestroyWindow();
    modal_ = false;

    if (disabledHere) ::EnableWindow(owner, TRUE);
    if (owner) ::SetForegroundWindow(owner);
    return result_;
}

void CPromptDlg::Close(int result) {
    result_ = result;
    if (m_hWnd) DestroyWindow();
}

void CPromptDlg::OnCommand(int id) {
    switch (id) {
    case ID_CLOSE:
        Close(kResultCloseGlyph);
        break;
    case ID_DISMISS:
        Close(kResultDismiss);
        break;
    default:
        OnExtraCommand(id);
        break;
    }
    // Only a command that closed the prompt ends a loop; inside RunModal the
    // loop ends with the window, so no quit is posted that could outlive it.
    if (!m_hWnd && !modal_ && QuitsAfterCommand(id)) ::PostQuitMessage(0);
}

void CPromptDlg::OnCreate() {
    const UINT shown = SOMF_VISIBLE | SOMF_AUTOSIZE;
    closeButton_.Create(this, kCloseX, kCloseY, ID_CLOSE, shown);
    closeButton_.SetImage(&SomSkin.closeButton);
    dismissButton_.Create(this, kDismissX, kDismissY, ID_DISMISS, shown);
    dismissButton_.SetImage(&SomSkin.closeTextButton);
    title_.Create(this, kTitleX, kTitleY, ID_TITLE, shown);
    title_.SetFont(SomSkin.fonts.Get(kTitleFontEntry));
    title_.SetText(L"{&#color=0xffffff}提示");
    CreateExtraControls();
    SetShape();
}

void CPromptDlg::SetShape() {
    RECT client{};
    GetClientRect(&client);
    const int w = client.right;
    const int h = client.bottom;
    const int c = kCorner;
    const POINT corners[] = {{c, 0}, {w - c, 0}, {w, c}, {w, h - c}, {w - c, h}, {c, h}, {0, h - c}, {0, c}};
    const HRGN region = ::CreatePolygonRgn(corners, 8, ALTERNATE);
    // The window owns the region once it is set.
    if (region && !::SetWindowRgn(m_hWnd, region, FALSE)) ::DeleteObject(region);
}

void CPromptDlg::OnLButtonDown(LPARAM lp) {
    // A press on the body (not taken by a button or link) drags the prompt.
    // A press on a button must not: the move loop would swallow its release.
    if (GetCaptureElement()) return;
    POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
    ::ClientToScreen(m_hWnd, &pt);
    PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(pt.x, pt.y));
}

BOOL CPromptDlg::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    switch (msg) {
    case WM_CREATE:
        CSomWndManager::ProcessWindowMessage(hwnd, msg, wp, lp, result);
        OnCreate();
        result = 0;
        return TRUE;
    case WM_COMMAND:
        OnCommand(LOWORD(wp));
        result = 0;
        return TRUE;
    case WM_NCHITTEST:
        result = HTCLIENT;
        return TRUE;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {  // the second press of a quick pair drags too
        const BOOL handled = CSomWndManager::ProcessWindowMessage(hwnd, msg, wp, lp, result);
        OnLButtonDown(lp);
        return handled;
    }
    case WM_CLOSE: {
        const bool quit = !modal_ && QuitsOnClose();
        DestroyWindow();
        if (quit) ::PostQuitMessage(0);
        result = 0;
        return TRUE;
    }
    case WM_DESTROY:
        // Destroyed while a thread's SendMessage was being served: GetMessage
        // in RunModal would not return before the next posted message.
        if (modal_ && ::InSendMessage()) ::PostThreadMessageW(::GetCurrentThreadId(), WM_NULL, 0, 0);
        break;
    default:
        break;
    }
    return CSomWndManager::ProcessWindowMessage(hwnd, msg, wp, lp, result);
}

void CPromptDlg::DrawBackground(HDC dc, const RECT* rect) {
    const int saved = ::SaveDC(dc);
    if (rect) ::IntersectClipRect(dc, rect->left, rect->top, rect->right, rect->bottom);
    SomSkin.dialogBackground.Draw(dc, 0, 0, 0);
    SomSkin.warningIcon.Draw(dc, kIconX, kIconY, 0);
    PaintMessage(dc);
    ::RestoreDC(dc, saved);
}

void CPromptDlg::PaintMessage(HDC dc) {
    if (text_.empty()) return;
    RECT client{};
    GetClientRect(&client);
    ScopedSelect font(dc, messageFont_.get());
    const int previousMode = ::SetBkMode(dc, TRANSPARENT);

    const int length = static_cast<int>(text_.size());
    SIZE whole{};
    ::GetTextExtentPoint32W(dc, text_.c_str(), length, &whole);
    std::vector<int> widths(text_.size());
    for (int i = 0; i < length; ++i) {
        SIZE one{};
        ::GetTextExtentPoint32W(dc, &text_[i], 1, &one);
        widths[i] = one.cx;
    }
    const MessageLayout layout = LayOutMessage(widths, whole.cx, whole.cy, client.right, client.bottom);
    for (const MessageCell& cell : layout.cells) ::TextOutW(dc, cell.left, cell.top, &text_[cell.index], 1);
    ::SetBkMode(dc, previousMode);
}
