// One connection of a segmented download: its own thread and WinINet
// request, fetching one segment after another from one source. Each request
// asks for an exact, committed part of the segment (SegmentMap::Commit) and is
// read to its end, so the connection stays open for the next one (keep-alive).
#pragma once

#include "p2sp/http/HttpSource.h"
#include "p2sp/record/PartialFile.h"
#include "p2sp/PieceHash.h"
#include "p2sp/PieceTable.h"
#include "p2sp/http/ReadSizer.h"
#include "p2sp/SegmentMap.h"
#include "p2sp/http/SourceStats.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// What every connection of one task shares. Owned by the task.
struct TransferContext {
    PartFile* file = nullptr;
    SegmentMap* map = nullptr;
    HANDLE stopEvent = nullptr;           // set when the task stops
    const std::atomic<bool>* stopRequested = nullptr;
    uint64_t totalSize = 0;
    std::string etag;                     // the file's validators, as the task knows them
    std::string lastModified;
    const PieceTable* pieces = nullptr;   // pieces to verify, or null
    // Connections of rank below this run; the others end after their
    // current request (HTTP steps back beside fast peers).
    std::atomic<int> perSource{1 << 30};
    // The endgame: with nothing free, a connection may race the peers for a
    // held piece of at most this many bytes (0: never), held this long.
    uint64_t raceMaxBytes = 0;
    uint64_t raceAfterMs = 3000;

    // Raised by a connection for the whole task; the first one wins.
    enum Fault : int { kNone = 0, kRestart = 1, kLocalError = 2 };
    std::atomic<int> fault{kNone};
    void Raise(Fault f) {
        int none = kNone;
        fault.compare_exchange_strong(none, f);
    }
};

class Connection {
public:
    // `rank`: its place among its source's connections (0 first). A
    // connection may start with a request already answered (the task's
    // first one) that covers `segment`, which the map has handed to `id`.
    Connection(int id, int rank, SourceStats* source, TransferContext* context);
    ~Connection();  // waits for the thread
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void Adopt(std::unique_ptr<HttpSource> open, ByteRange segment);
    bool Start();
    void Join();
    bool Running() const { return running_.load(); }
    int Rank() const { return rank_; }
    SourceStats* Source() const { return source_; }
    // True when it ended because its source refused it (4xx after retries).
    bool Refused() const { return refused_; }
    // True when it ended for want of work (nothing free, or its rank stood
    // down), not for a failure: another may take its place later.
    bool EndedIdle() const { return !running_.load() && idle_.load(); }

private:
    enum class Result { kDone, kStopped, kTransient, kRefused, kBadData, kWrongFile, kLocalError };

    void Run();
    Result FetchSegment(const ByteRange& segment);
    // Fetches a held piece into memory and, when it verifies first, stores it.
    Result Race(const ByteRange& range);
    Result Fetch(const ByteRange& request);
    bool Send(const ByteRange& request, Result* failure);
    bool StandsDown() const { return rank_ >= context_->perSource.load(); }
    Result ReadSegment(ByteRange segment);
    Result Deliver(uint64_t pos, const uint8_t* data, uint64_t n);
    bool WaitOrStop(DWORD ms);

    const int id_;
    const int rank_;
    SourceStats* const source_;
    TransferContext* const context_;
    std::unique_ptr<HttpSource> http_;
    bool adopted_ = false;
    ByteRange adoptedSegment_;
    std::unique_ptr<PieceHash> hash_;
    uint64_t pieceStart_ = 0;  // first byte of the piece being hashed
    std::vector<uint8_t> buffer_;
    std::vector<uint8_t> raceBuffer_;
    ReadSizer sizer_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> idle_{false};
    bool refused_ = false;
};
