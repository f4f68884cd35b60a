// The start-up window: loads the configuration on a worker thread while its
// bar runs, then shows exactly one of the download page, the outdated
// downloader prompt or the start-up failure prompt, and destroys itself.
#pragma once

#include "ui/KeldorProgress.h"
#include "winlayer/MessageLoop.h"
#include "ui/SomButton4.h"
#include "ui/SomTextWnd.h"
#include "ui/SomWndManager.h"
#include "app/StartupDecision.h"
#include "winlayer/WindowImpl.h"

#include <string>

// "Vorla游戏下载器-<game name>专版", the title of the program's windows.
std::wstring FormatWindowTitle(const std::wstring& gameName);

// Display name of a ConfigInitResult code.
const wchar_t* ConfigInitResultName(int result);

class CMainDlg : public CWindowImplBase, public CSomWndManager, public CMessageFilter {
public:
    static const UINT_PTR IDT_INIT_FINISH = 10000;
    static const UINT kFinishTickMs = 10;
    static const int kWidth = 404;
    static const int kHeight = 201;
    enum ElementId { ID_CLOSE = 0, ID_TITLE = 1, ID_STATUS = 2, ID_PROGRESS = 3 };

    CMainDlg();
    ~CMainDlg() override;

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    // Drops Enter and Escape taken from the main message loop, for every window.
    BOOL PreTranslateMessage(MSG* msg) override;
    void DrawBackground(HDC dc, const RECT* rect) override;

    int GetLoadResult() const { return loadResult_; }
    int GetPosition() const { return position_; }

    // The decision at the end of the finishing animation (also a seam for
    // tests, which drive the ticks directly).
    StartupOutcome Decide() const;

protected:
    // Starts the loading thread; tests drive the reports themselves.
    virtual void StartLoading();
    // What the decision opens; the program's own windows by default. Each is
    // opened while the start-up window is still up, which goes right after.
    virtual void OpenDownloadPage(const std::wstring& title, const std::wstring& skinFile);
    virtual void OpenOutdatedPrompt(const std::wstring& title);
    virtual void OpenFailurePrompt(const std::wstring& title);

private:
    static DWORD WINAPI LoadingThread(void* window);
    void OnCreate();
    void LayOut();
    void OnConfigInit(WPARAM wp, LPARAM lp);
    void OnFinishingTick();
    void Close();

    CSomButton4 closeButton_;
    CKeldorProgress progress_;
    int position_ = 0;
    CSomTextWnd title_;
    CSomTextWnd status_;
    int loadResult_ = -1;
};

// The cut-corner region of the start-up window and the prompts: the client
// rectangle with its four corners cut by `corner` pixels.
HRGN CreateCutCornerRegion(int width, int height, int corner);
