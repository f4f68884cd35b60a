// The download page. This first form is the window the start-up decision
// opens: registered under the game identifier (so a second copy can find
// it), skinned with the page background, hiding to the notification area
// when closed and answering the show and exit commands. The download
// controls are built on it.
#pragma once

#include "SomBitmap.h"
#include "SomButton4.h"
#include "SomTextWnd.h"
#include "SomWndManager.h"
#include "WindowImpl.h"

#include <memory>
#include <string>

class CDLDlg : public CWindowImplBase, public CSomWndManager {
public:
    static const int kWidth = 679;
    static const int kHeight = 419;
    enum ControlId { ID_TITLE = 5, ID_CLOSE = 13 };
    static const UINT WM_TRAYICON = WM_USER + 1001;  // 2025
    static const UINT kTrayIconId = 32513;

    // With the built-in background (resource 105).
    CDLDlg();
    // With a background image file (the fetched skin).
    explicit CDLDlg(const std::wstring& backgroundFile);
    ~CDLDlg() override;

    CWndClassInfo& GetWndClassInfo() override;
    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    void DrawBackground(HDC dc, const RECT* rect) override;

    // Brings the page into view: behind a full-screen application without
    // taking the focus, otherwise restored and raised above all windows.
    void RestoreWindow();

    bool UsesBuiltInBackground() const { return builtInBackground_; }
    bool HasTrayIcon() const { return trayIcon_; }

private:
    void OnCreate();
    void Exit();
    // Close hides the page to the notification area; the program goes on.
    void MinimizeToTray();
    void OnTrayIcon(WPARAM wp, LPARAM lp);
    void RemoveTrayIcon();

    std::unique_ptr<CSomBitmap> background_;
    bool builtInBackground_;
    CSomTextWnd title_;
    CSomButton4 closeButton_;
    bool trayIcon_ = false;
};

// The page's ten-vertex window region.
HRGN CreatePageRegion();
