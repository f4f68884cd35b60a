// A child window showing web pages: it hosts the platform's web browser
// control (our own small ActiveX container takes the place of a framework
// host window), configures it for a pane inside a skinned window (document
// host flags, no context menu, silent) and navigates it.
#pragma once

#include "ui/ISomUIElement.h"
#include "base/ScopedComPtr.h"
#include "webview/SomAxControl.h"
#include "winlayer/WindowImpl.h"

#include <exdisp.h>

class CSomHtmlWnd : public CWindowImplBase, public ISomUIElement {
public:
    CSomHtmlWnd() = default;
    ~CSomHtmlWnd() override;

    // Creates the window and in it the browser control, which starts loading
    // address. A style of 0 means child, visible, clipping children and
    // siblings. external: the page's external object (may be null); flags:
    // DOCHOSTUIFLAG bits, 0 for the engine's defaults. Returns null when the
    // window or the control cannot be created.
    HWND Create(IDispatch* external, const wchar_t* address, HWND parent, const RECT& rect, DWORD style = 0,
                DWORD exStyle = 0, UINT id = 0, void* createParam = nullptr, DWORD docHostFlags = 0);

    // Loads a page.
    void Navigate(const wchar_t* address);

    // The control's browser interface; empty without a control.
    ScopedComPtr<IWebBrowser2> GetBrowser() const;

    CWndClassInfo& GetWndClassInfo() override;
    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

    // ISomUIElement
    void GetClientArea(RECT& rect) override;
    void GetRect(RECT& rect) override;
    void SetRect(int x, int y, int cx, int cy) override;
    void SetSize(int cx, int cy) override;
    void SetPos(int x, int y) override;
    bool Destroy() override;
    void Show(bool show) override;

private:
    // Creates the control in the new window and starts loading address.
    bool OnCreate(const wchar_t* address);
    // Gives the keyboard focus to the page's own window.
    void FocusPage();
    void OnDestroy();

    bool allowContextMenu_ = false;
    DWORD docHostFlags_ = 0;
    ScopedComPtr<IDispatch> external_;
    CSomAxControl control_;
};
