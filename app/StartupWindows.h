// The windows the start-up decision opens, and the process-wide slots that
// keep the latest failure prompt and the latest retried start-up window.
//
// Each of them takes the place of the start-up window, which is gone or about
// to go: when one cannot be made, the program has no window left and would
// live on unseen, so the quit message (exit code 0) is posted instead.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

class CDLDlg;

// Runs the creation of one of these windows; it answers the new window or
// null. The program's own function simply runs it; a test puts one that
// fails in its place. An empty function restores the program's own; the
// previous one is returned.
using StartupWindowCreation = std::function<HWND(const std::function<HWND()>& create)>;
StartupWindowCreation SetStartupWindowCreation(StartupWindowCreation creation);

// Creates and shows the download page (with skinFile as its background when
// that file decodes, else the built-in one). The page lives until the
// process ends. False (and the quit posted) when it could not be made.
bool ShowDownloadPage(const std::wstring& title, const std::wstring& skinFile);
// The outdated-downloader prompt, top-level: any button ends the program.
bool ShowOutdatedPrompt(const std::wstring& title);
// The start-up failure prompt, top-level, replacing an earlier one; retry
// starts a fresh start-up window.
bool ShowStartupFailurePrompt(const std::wstring& title);
// Starts the whole start-up sequence again in a fresh start-up window (the
// failure prompt's retry). The window made by the previous retry is deleted.
bool RetryStartup();

// The download page, once the decision has opened it (else null).
CDLDlg* TheDownloadPage();
