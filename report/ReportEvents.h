// The statistics events of the download workflow, as
// CStatisticsMgr::ReportEvent takes them. The kind picks the query's form
// (0: with tg; 1, 2: plain; 3 and above: with cg and cwdm); the action is the
// event code the portal counts. The two "p" events carry the game's
// percentage in the action slot and its completed bytes (low 32 bits) in tg,
// which their query form drops.
#pragma once

#include <cstdint>

enum ReportKind : int {
    REPORT_KIND_DOWNLOAD_STARTED = 0,
    REPORT_KIND_DOWNLOAD_CONTINUED = 2,
    REPORT_KIND_DOWNLOAD_FINISHED = 3,
    REPORT_KIND_DOWNLOAD_STALLED = 4,
    REPORT_KIND_LOCAL_FAILED = 5,    // the game task could not write its file
    REPORT_KIND_CHECKS_FAILED = 5,   // the finished file failed its checks
    REPORT_KIND_SOURCE_FAILED = 6,   // the source refused the game
};

// The query form a kind picks.
enum class ReportQueryForm { WithTg, Plain, WithCgAndCwdm };
inline ReportQueryForm QueryFormOfKind(int kind) {
    if (kind == 0) return ReportQueryForm::WithTg;
    if (kind == 1 || kind == 2) return ReportQueryForm::Plain;
    return ReportQueryForm::WithCgAndCwdm;
}

enum ReportAction : int {
    REPORT_ACTION_DOWNLOAD_STARTED = 2,
    REPORT_ACTION_DOWNLOAD_CONTINUED = 4,
    REPORT_ACTION_GAME_TASK_ENDED = 5,  // finished or failed
};

// cg and cwdm of the events that end the game task.
enum : int {
    REPORT_CG_FINISHED = 1,
    REPORT_CWDM_FINISHED = 3,
    REPORT_CWDM_LOCAL_FAILED = 5,
    REPORT_CWDM_SOURCE_FAILED = 6,
};

// The from value of the companion setup report: the setup ran silently.
enum : int { REPORT_FROM_SILENT_SETUP = 1 };

// One event's five values.
struct ReportEventValues {
    int kind = 0;
    int action = 0;
    int tg = 0;
    int cg = 0;
    int cwdm = 0;
};

inline bool operator==(const ReportEventValues& a, const ReportEventValues& b) {
    return a.kind == b.kind && a.action == b.action && a.tg == b.tg && a.cg == b.cg && a.cwdm == b.cwdm;
}

inline ReportEventValues MakeReportEvent(int kind, int action, int tg, int cg, int cwdm) {
    ReportEventValues event;
    event.kind = kind;
    event.action = action;
    event.tg = tg;
    event.cg = cg;
    event.cwdm = cwdm;
    return event;
}

// The start button; tg tells whether the companion box is ticked.
inline ReportEventValues DownloadStartedEvent(bool companionTicked) {
    return MakeReportEvent(REPORT_KIND_DOWNLOAD_STARTED, REPORT_ACTION_DOWNLOAD_STARTED, companionTicked ? 1 : 0, 0, 0);
}

// The continue button.
inline ReportEventValues DownloadContinuedEvent() {
    return MakeReportEvent(REPORT_KIND_DOWNLOAD_CONTINUED, REPORT_ACTION_DOWNLOAD_CONTINUED, 0, 0, 0);
}

// The game task completed, whatever its file's checks said.
inline ReportEventValues DownloadFinishedEvent() {
    return MakeReportEvent(REPORT_KIND_DOWNLOAD_FINISHED, REPORT_ACTION_GAME_TASK_ENDED, 0, REPORT_CG_FINISHED,
                           REPORT_CWDM_FINISHED);
}

// The game task failed at its source.
inline ReportEventValues SourceFailedEvent() {
    return MakeReportEvent(REPORT_KIND_SOURCE_FAILED, REPORT_ACTION_GAME_TASK_ENDED, 0, 0, REPORT_CWDM_SOURCE_FAILED);
}

// The game task failed on this machine.
inline ReportEventValues LocalFailedEvent() {
    return MakeReportEvent(REPORT_KIND_LOCAL_FAILED, REPORT_ACTION_GAME_TASK_ENDED, 0, 0, REPORT_CWDM_LOCAL_FAILED);
}

// The stalled download was given up, at percentage of the game with
// completedBytes written.
inline ReportEventValues DownloadStalledEvent(unsigned percentage, uint64_t completedBytes) {
    return MakeReportEvent(REPORT_KIND_DOWNLOAD_STALLED, static_cast<int>(percentage),
                           static_cast<int>(static_cast<uint32_t>(completedBytes)), 0, 0);
}

// The finished file failed its checks, at percentage with completedBytes.
inline ReportEventValues ChecksFailedEvent(unsigned percentage, uint64_t completedBytes) {
    return MakeReportEvent(REPORT_KIND_CHECKS_FAILED, static_cast<int>(percentage),
                           static_cast<int>(static_cast<uint32_t>(completedBytes)), 0, 0);
}
