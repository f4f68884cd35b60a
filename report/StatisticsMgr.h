// Fire-and-forget statistics: each milestone becomes one plain HTTP GET that
// a background sender thread fetches, in posting order, one at a time.
#pragma once

#include "engine/HttpDownload.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

// What every report carries besides its event values.
class IReportContext {
public:
    virtual ~IReportContext() = default;
    virtual std::wstring GameId() = 0;
    virtual std::wstring MachineId() = 0;  // empty when it cannot be obtained
    virtual std::wstring Version() = 0;
    virtual std::wstring StatisticsBase() = 0;  // the configured DomainName
    // The scheme of the requests the program builds itself ("http" or "https").
    virtual std::wstring PortalScheme() { return L"http"; }
};

// Query of an event report, by kind (0: with tg; 1, 2: plain; 3 and above:
// with cg and cwdm).
std::wstring BuildEventQuery(int kind, int action, int tg, int cg, int cwdm, const std::wstring& game,
                             const std::wstring& mid, const std::wstring& ver);

class CStatisticsMgr {
public:
    static const DWORD kRequestTimeoutMs = 10000;
    static const uint64_t kAnswerLimitBytes = 64 * 1024;  // a report answer is a few bytes
    static const DWORD kPauseAfterReportMs = 10;
    static const DWORD kIdleWaitMs = 100;

    explicit CStatisticsMgr(IReportContext& context) : context_(context) {}
    virtual ~CStatisticsMgr();

    // Starts the sender thread; a second call does nothing.
    void Start();
    // Appends url to the queue; never waits for the network. Virtual so a
    // recorder can stand in for the queue.
    virtual void Post(const std::wstring& url);

    void ReportEvent(int kind, int action, int tg, int cg, int cwdm);
    void ReportConfigLoaded();
    void ReportRedownload();
    // Absolute URL on the statistics host; from is sent as decimal text.
    void ReportCompanionSetup(int from);

    // Reports taken off the queue so far (sent or dropped).
    uint64_t Processed() const { return processed_.load(); }
    uint64_t Posted() const { return posted_.load(); }

private:
    void SenderLoop();
    bool TakeNext(std::wstring& url);

    IReportContext& context_;
    std::mutex queueLock_;  // held only to append or take one entry
    std::deque<std::wstring> queue_;
    CHttpDownload transfer_;
    std::thread sender_;
    std::atomic<bool> started_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<uint64_t> posted_{0};
    std::atomic<uint64_t> processed_{0};
};

// The process-wide reporter; created at start-up and never destroyed (reports
// still queued when the process ends are lost). Null before it exists.
CStatisticsMgr* TheStatisticsMgr();
void SetTheStatisticsMgr(CStatisticsMgr* mgr);
