// The windows the start-up decision opens, and the process-wide slots that
// keep the latest failure prompt and the latest retried start-up window.
#pragma once

#include <string>

class CDLDlg;

// Creates and shows the download page (with skinFile as its background when
// that file decodes, else the built-in one). The page lives until the
// process ends.
void ShowDownloadPage(const std::wstring& title, const std::wstring& skinFile);
// The outdated-downloader prompt, top-level: any button ends the program.
void ShowOutdatedPrompt(const std::wstring& title);
// The start-up failure prompt, top-level, replacing an earlier one; retry
// starts a fresh start-up window.
void ShowStartupFailurePrompt(const std::wstring& title);

// The download page, once the decision has opened it (else null).
CDLDlg* TheDownloadPage();
