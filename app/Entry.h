// Process entry: one copy per game identifier, then the run function.
#pragma once

#include <windows.h>

// The instance handle of the program, stored first thing at entry.
extern HINSTANCE g_hInstance;

// Every command line is accepted; it is not interpreted.
bool AcceptCommandLine(const wchar_t* commandLine);

// True when CreateMutexW's outcome means another downloader for this game
// runs. Access denied comes with a NULL handle (the first copy runs elevated)
// and still means "already running".
bool IsAnotherCopyRunning(HANDLE mutex, DWORD lastError);

// A second copy's request to the running copy's page to come into view
// (WM_COMMAND ID_SHOW_DOWNLOADER), given up after this long without an answer.
constexpr UINT kShowRequestTimeoutMs = 5000;
void AskRunningCopyToShow(HWND page);

// The entry steps; always returns 0.
int DownloaderMain(HINSTANCE instance, LPWSTR commandLine, int showCommand);

// Creates the start-up window and runs the message loop; returns the exit
// code WM_QUIT carried.
int Run(LPWSTR commandLine, int showCommand);
