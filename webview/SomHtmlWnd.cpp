#include "webview/SomHtmlWnd.h"

#include "base/ScopedBstr.h"

#include <mshtml.h>

#include <new>

namespace {

const wchar_t kCreateFailed[] = L"KeldorBrowser IE Create exception!!";
const wchar_t kNavigateFailed[] = L"KeldorBrowser IE Navigate exception!!";

}  // namespace

CSomHtmlWnd::~CSomHtmlWnd() {
    // While this object still handles the messages: the control is closed
    // with the window.
    if (m_hWnd) DestroyWindow();
}

CWndClassInfo& CSomHtmlWnd::GetWndClassInfo() {
    // No class style, brush or cursor of its own: the control covers the
    // whole client area.
    static CWndClassInfo info;
    info.className = L"SomHtmlView";
    info.style = 0;
    info.background = nullptr;
    info.cursor = nullptr;
    return info;
}

HWND CSomHtmlWnd::Create(IDispatch* external, const wchar_t* address, HWND parent, const RECT& rect, DWORD style,
                         DWORD exStyle, UINT id, void* createParam, DWORD docHostFlags) {
    allowContextMenu_ = false;
    docHostFlags_ = docHostFlags;
    external_ = ScopedComPtr<IDispatch>(external);
    if (style == 0) style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    // The address is the window text; WM_CREATE loads it.
    const HWND hwnd = CWindowImplBase::Create(parent, rect, address, style, exStyle,
                                              reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), createParam);
    if (!hwnd) {
        external_.Reset();
        ::OutputDebugStringW(kCreateFailed);
        return nullptr;
    }
    // Script errors and other browser dialogs must never appear.
    if (ScopedComPtr<IWebBrowser2> browser = GetBrowser()) browser->put_Silent(VARIANT_TRUE);
    return hwnd;
}

BOOL CSomHtmlWnd::ProcessWindowMessage(HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    switch (msg) {
        case WM_CREATE:
            result = OnCreate(reinterpret_cast<const CREATESTRUCTW*>(lp)->lpszName) ? 0 : -1;
            return TRUE;
        case WM_SIZE:
            control_.FitToWindow();
            return FALSE;
        case WM_SETFOCUS:
            result = DefWindowProc(msg, wp, lp);
            FocusPage();
            return TRUE;
        case WM_DESTROY:
            OnDestroy();
            return FALSE;
        default:
            return FALSE;
    }
}

bool CSomHtmlWnd::OnCreate(const wchar_t* address) {
    // No exception may leave a window procedure: a failed allocation fails
    // the creation instead.
    ScopedComPtr<CSomHtmlSite> site;
    site.Attach(new (std::nothrow) CSomHtmlSite(m_hWnd));
    if (!site) return false;
    site->UIHandler().SetAllowContextMenu(allowContextMenu_);
    if (docHostFlags_ != 0) site->UIHandler().SetDocHostFlags(docHostFlags_);
    if (external_) site->UIHandler().SetExternalDispatch(external_.Get());
    if (FAILED(control_.Create(CLSID_WebBrowser, site.Get()))) return false;
    if (address && *address) Navigate(address);
    return true;
}

void CSomHtmlWnd::Navigate(const wchar_t* address) {
    ScopedComPtr<IWebBrowser2> browser = GetBrowser();
    const ScopedBstr url(address ? address : L"");
    VARIANT none;
    ::VariantInit(&none);
    const HRESULT hr = browser && url.Get() ? browser->Navigate(url.Get(), &none, &none, &none, &none) : E_FAIL;
    if (FAILED(hr)) ::OutputDebugStringW(kNavigateFailed);
}

ScopedComPtr<IWebBrowser2> CSomHtmlWnd::GetBrowser() const {
    ScopedComPtr<IWebBrowser2> browser;
    if (IOleObject* object = control_.Object()) {
        object->QueryInterface(IID_IWebBrowser2, browser.ReceiveVoid());
    }
    return browser;
}

void CSomHtmlWnd::FocusPage() {
    IOleObject* object = control_.Object();
    if (!object) return;
    // The control may be the page itself, or a browser showing one.
    ScopedComPtr<IHTMLDocument2> document;
    if (FAILED(object->QueryInterface(IID_IHTMLDocument2, document.ReceiveVoid())) || !document) {
        ScopedComPtr<IWebBrowser2> browser = GetBrowser();
        ScopedComPtr<IDispatch> current;
        if (!browser || FAILED(browser->get_Document(current.Receive())) || !current) return;
        if (!current.QueryInto(IID_IHTMLDocument2, document)) return;
    }
    ScopedComPtr<IHTMLWindow2> window;
    if (FAILED(document->get_parentWindow(window.Receive())) || !window) return;
    window->focus();
}

void CSomHtmlWnd::OnDestroy() {
    if (CSomHtmlSite* site = control_.Site()) site->UIHandler().SetExternalDispatch(nullptr);
    external_.Reset();
    control_.Close();
}

void CSomHtmlWnd::GetClientArea(RECT& rect) { ::GetClientRect(m_hWnd, &rect); }

void CSomHtmlWnd::GetRect(RECT& rect) {
    ::GetWindowRect(m_hWnd, &rect);
    const HWND parent = ::GetParent(m_hWnd);
    if (parent && ::IsWindow(parent)) ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
}

void CSomHtmlWnd::SetRect(int x, int y, int cx, int cy) {
    ::SetWindowPos(m_hWnd, nullptr, x, y, cx, cy, SWP_NOZORDER);
}

void CSomHtmlWnd::SetSize(int cx, int cy) { ::SetWindowPos(m_hWnd, nullptr, 0, 0, cx, cy, SWP_NOZORDER | SWP_NOMOVE); }

void CSomHtmlWnd::SetPos(int x, int y) { ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOZORDER | SWP_NOSIZE); }

bool CSomHtmlWnd::Destroy() { return m_hWnd && DestroyWindow() != FALSE; }

void CSomHtmlWnd::Show(bool show) { ShowWindow(show ? SW_SHOWNORMAL : SW_HIDE); }
