// One download task: a URL, a target path and, while running, one worker
// thread that fills `<target>.P2P` and keeps its range record current.
//
// The worker's first request asks for the start of what is missing
// (TaskRequest.cpp). A server that answers with a range gets the rest split
// over several connections in rounds (TaskRound.cpp, HttpRound), also over
// the mirrors of a matching seed; one that ignores ranges is read on that
// single request. A torrent seed brings a swarm of peers beside the HTTP
// sources (TaskSwarm.cpp). A finished file is checked whole against the
// seed's pieces before it is renamed into place (TaskFinish.cpp).
#pragma once

#include "base/ScopedHandle.h"
#include "p2sp/P2spApi.h"
#include "p2sp/PieceTable.h"
#include "p2sp/SegmentMap.h"
#include "p2sp/http/Connection.h"
#include "p2sp/http/HttpRound.h"
#include "p2sp/http/HttpSource.h"
#include "p2sp/http/SourceStats.h"
#include "p2sp/record/PartialFile.h"
#include "p2sp/record/RangeRecord.h"
#include "p2sp/record/RecordKeeper.h"
#include "p2sp/swarm/Swarm.h"
#include "p2sp/swarm/SwarmOptions.h"
#include "p2sp/swarm/SwarmStorage.h"
#include "p2sp/swarm/TorrentSeed.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class Task : private HttpRound::Owner {
public:
    Task(int id, std::wstring url, std::wstring target);
    ~Task();  // stops the worker and waits for it
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;

    // Reads the range record of an existing partial file so that progress
    // shows before the task starts. Touches no data.
    void LoadSavedProgress();
    // Starts the worker unless it already runs; never waits. A worker still
    // ending after a stop starts over on its own thread. `seedUrl` (may be
    // empty) names a Metalink document or a torrent that may describe this
    // task's file; a torrent brings a swarm set up by `swarmOptions`.
    bool Start(const std::wstring& seedUrl, const SwarmOptions& swarmOptions = SwarmOptions());
    // Asks the worker to stop; it saves its record and ends soon after. A
    // finished task goes on seeding.
    void RequestStop();
    void Join();
    // Ends seeding (and the swarm of a running download) soon; the wait is
    // left to the destructor.
    void RequestStopSeeding();
    // True while the worker runs and has not been asked to stop.
    bool IsWriting() const;
    // True while the worker or the swarm runs, even when asked to stop.
    bool IsRunning() const;
    void Query(P2spTaskInfo* info);
    // The swarm's figures (peer speed, peers, bytes both ways).
    void QuerySwarm(P2spTaskInfo* info);
    const std::wstring& TargetKey() const { return targetKey_; }

private:
    // What one request to the source came to.
    enum class Outcome { kProgress, kStopped, kRestart, kTransient, kRefused, kLocalError, kSeedMismatch };

    void Work();  // the worker thread: runs, and runs again when started while ending
    void Run();
    // Finished, renamed, and still there: a start has nothing to do.
    bool FinishedInPlace();
    uint8_t Transfer();  // the retry loop; returns the final state

    // The first request (TaskRequest.cpp).
    Outcome FetchOnce();
    // Reads a body on the worker's own request into [offset, end).
    Outcome ReadBody(uint64_t offset, uint64_t end, bool lengthKnown);
    // Reads the re-fetched bytes [offset, end) and compares them with the disk.
    Outcome CheckOverlap(uint64_t offset, uint64_t end);

    // The rounds of the HTTP sources (TaskRound.cpp): everything missing over
    // several connections; the first request (still open, answered with a
    // range) covers `first`.
    Outcome RunSegments(ByteRange first);
    void MatchSeed();
    SwarmGlance Glance() override;
    bool Progress() override;

    // The swarm (TaskSwarm.cpp).
    void StartSwarm();
    // Complete at start (killed between the last piece and the rename):
    // checked, then seeded like a file finished in this run.
    bool SeedFinishedFile();
    // Runs the swarm alone for a while; true when it brought pieces.
    bool SwarmCarries();
    void EndSwarm();

    // The finish (TaskFinish.cpp): false with the record missing the
    // pieces that failed the whole-file check, or on a local error.
    enum class Finish { kRenamed, kPiecesBad, kStopped, kLocalError };
    Finish Finalize();
    // Every piece checked against the seed; the bad ones are missing again.
    Finish CheckWholeFile();
    void PauseBeforeRename();

    bool StartOver();
    bool Checkpoint(bool force);
    bool LoadUsableRecord();
    bool WaitOrStop(DWORD ms);
    void Publish();
    void SetState(uint8_t state);

    const int id_;
    const std::wstring url_;
    const std::wstring target_;
    const std::wstring partPath_;
    const std::wstring recordPath_;
    const std::wstring targetKey_;  // upper-cased path, to find tasks sharing a target

    // The worker's life, guarded by runLock_.
    mutable std::mutex runLock_;
    std::thread worker_;
    bool running_ = false;     // the worker thread runs
    bool startAgain_ = false;  // started while ending: run again
    ScopedHandle stopEvent_;   // manual reset
    std::atomic<bool> stopRequested_{false};
    std::wstring seedUrl_;        // set by Start before a run
    SwarmOptions swarmOptions_;   // set by Start before a run

    // Worker-only state.
    PartFile part_;
    RecordKeeper keeper_;  // after part_: finishes with the file before it closes
    std::unique_ptr<HttpSource> http_;  // the worker's own request
    RangeRecord record_;   // size, validators and the ranges written so far
    SegmentMap map_;
    PieceTable seed_;
    TorrentSeedData torrent_;   // the seed when it is a torrent naming this file
    SwarmStorage storage_;
    bool seedLoaded_ = false;   // the Metalink seed names this task's file
    bool seedActive_ = false;   // ... and its size matches: its mirrors and pieces are used
    bool bodyComplete_ = false;  // a body of unknown or zero length ended cleanly
    uint64_t bytesWritten_ = 0;
    std::vector<uint8_t> buffer_;
    std::vector<uint8_t> verifyBuffer_;

    // Shared with QueryTask, guarded by lock_. Sources are added by the
    // worker while it holds the lock and live as long as the task.
    std::mutex lock_;
    uint64_t totalBytes_ = 0;
    uint64_t completedBytes_ = 0;
    uint8_t state_ = P2SP_STATE_RUNNING;
    std::vector<std::unique_ptr<SourceStats>> sources_;

    // The swarm: started and ended by the worker while it downloads; after
    // the file is complete it seeds on until StopSeed, RemoveTask, the
    // task's end or its seeding limits. Guarded by swarmLock_ (never taken
    // with lock_ held).
    mutable std::mutex swarmLock_;
    std::unique_ptr<Swarm> swarm_;
    std::atomic<bool> seedingStopped_{false};
};
