// The figures of the download page: size texts, speed text and the progress
// percentage, computed from the engine's task records with the companion
// setup folded in. No window code: the page passes plain records and shows
// what comes back.
#pragma once

#include "p2sp/P2spApi.h"

#include <cstdint>
#include <string>

// What the page knows about the companion besides its task record.
struct CompanionFigures {
    bool ticked = false;            // the offer's check box
    int taskId = -1;                // engine task id, -1 when none
    bool done = false;              // finished, failed or given up
    uint64_t recordedSize = 10485760;  // KDSize of the state file
    uint64_t setupFileSize = 0;     // size of the setup file on disk, 0 when missing
};

struct ProgressFiguresResult {
    uint64_t done = 0;
    uint64_t total = 0;
    uint64_t speed = 0;      // bytes per second
    unsigned percentage = 0;  // 0 to 100
};

// "1023.00B", "1.00KB", "1.00MB", "1.00GB": the quotient rounded to single
// precision and shown with two decimals.
std::wstring FormatSize(uint64_t bytes);
// Caption of the progress bar: "done/total".
std::wstring FormatSizeText(uint64_t done, uint64_t total);
// "速度：1.5KB/s".
std::wstring FormatSpeedText(uint64_t bytesPerSecond);
extern const wchar_t kSpeedAtRest[];  // "速度：0.0KB/s"

// done * 100 / total, truncated, never above 100; 0 when total is 0.
unsigned ProgressPercentage(uint64_t done, uint64_t total);

// Engine total of the game, or gameSize while the engine still says 0.
uint64_t GameTotal(const P2spTaskInfo& game, uint64_t gameSize);

// The one-second poll: game and companion (when it is downloaded alongside:
// box ticked and a task) summed; a finished companion counts its full size.
ProgressFiguresResult ComputePollFigures(const P2spTaskInfo& game, const P2spTaskInfo& companion,
                                         uint64_t gameSize, const CompanionFigures& offer);

// Companion share shown outside the poll (set-up, check box toggle,
// completion): 0 when the box is not ticked. Without a record the done side
// counts the setup file on disk, and the total then counts that same file;
// with no file either the total is the recorded size.
uint64_t CompanionTotal(const P2spTaskInfo& companion, const CompanionFigures& offer);
uint64_t CompanionDone(const P2spTaskInfo& companion, const CompanionFigures& offer);

// RefreshProgress: done/total with the companion's share; the position is the
// game's own percentage. `show` is false when total is 0: the caption then
// stays as it is and the position goes to 0.
struct RefreshFigures {
    bool show = false;
    uint64_t done = 0;
    uint64_t total = 0;
    unsigned position = 0;
};
RefreshFigures ComputeRefreshFigures(const P2spTaskInfo& game, const P2spTaskInfo& companion, uint64_t gameSize,
                                     const CompanionFigures& offer);
