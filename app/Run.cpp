#include "app/Entry.h"

#include "winlayer/AppModule.h"
#include "config/DownloaderConfig.h"
#include "app/MainDlg.h"
#include "winlayer/MessageLoop.h"
#include "report/StatisticsMgr.h"

#include <cstdio>

namespace {

// A spare class, copied from the system dialog class; no window uses it.
void RegisterSpareClass(HINSTANCE instance) {
    WNDCLASSW wc{};
    if (!::GetClassInfoW(instance, L"#32770", &wc)) return;
    wc.lpszClassName = L"Zephyrine";
    ::RegisterClassW(&wc);
}

}  // namespace

int Run(LPWSTR, int) {
    CMessageLoop loop;
    TheAppModule().AddMessageLoop(&loop);
    if (CStatisticsMgr* statistics = TheStatisticsMgr()) statistics->Start();

    CMainDlg mainDlg;
    RegisterSpareClass(g_hInstance);
    loop.AddMessageFilter(&mainDlg);

    const std::wstring title = FormatWindowTitle(TheDownloaderConfig().GetGameName());
    const RECT rect = {0, 0, 400, 200};
    int exitCode = 0;
    if (mainDlg.Create(nullptr, rect, title.c_str(), WS_POPUP | WS_VISIBLE | WS_SYSMENU)) {
        mainDlg.CenterWindow();
        mainDlg.ShowWindow(SW_SHOWNORMAL);
        exitCode = loop.Run();
    }
    // Without a start-up window there is nothing to run: the process ends.

    TheAppModule().RemoveMessageLoop();
    return exitCode;
}
