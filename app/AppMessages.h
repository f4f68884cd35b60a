// Window messages, command ids and timers that pass between the windows and
// threads of the program.
#pragma once

#include <windows.h>

// Loading thread to start-up window: lParam LOAD_REPORT_PROGRESS with the
// position (0..40) in wParam, or LOAD_REPORT_FINISHED with the result.
constexpr UINT WM_CONFIG_INIT = WM_USER + 1000;  // 2024
constexpr LPARAM LOAD_REPORT_PROGRESS = 5;
constexpr LPARAM LOAD_REPORT_FINISHED = 6;

// WM_COMMAND ids understood by the download page.
constexpr WORD ID_SHOW_DOWNLOADER = 2025;
constexpr WORD ID_EXIT_DOWNLOADER = 2026;
