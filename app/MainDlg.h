// The start-up window: loads the configuration on a worker thread while it
// shows the progress, then shows the outcome of the load.
#pragma once

#include "MessageLoop.h"
#include "WindowImpl.h"

#include <string>

// "Vorla游戏下载器-<game name>专版", the title of the program's windows.
std::wstring FormatWindowTitle(const std::wstring& gameName);

// Display name of a ConfigInitResult code.
const wchar_t* ConfigInitResultName(int result);

class CMainDlg : public CWindowImplBase, public CMessageFilter {
public:
    static const int kWidth = 404;
    static const int kHeight = 201;

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

    // Drops Enter and Escape taken from the main message loop, for every window.
    BOOL PreTranslateMessage(MSG* msg) override;

    int GetLoadResult() const { return loadResult_; }

private:
    static DWORD WINAPI LoadingThread(void* window);
    void OnCreate();
    void OnConfigInit(WPARAM wp, LPARAM lp);
    void OnPaint();
    RECT CloseGlyphRect() const;

    int position_ = 0;
    int loadResult_ = -1;
};
