// One round of the HTTP sources: the connections of every live source fill
// the missing bytes through the task's segment map until nothing is left
// for them, the task stops, or a fault ends the round. The task decides
// what the round starts from (its record, the plan of the map) and what its
// end means (a retry, a restart, a failure).
//
// Beside a swarm, HttpShare decides from the rates how many connections
// each source runs and whether the pieces peers have are left to them; a
// connection that stands down ends after its request and another takes its
// rank when HTTP needs it again. With nothing free, connections race the
// peers for pieces the swarm has held for a while (the endgame), and a
// connection that ended for want of work is started again once there is
// work for it.
#pragma once

#include "p2sp/SegmentMap.h"
#include "p2sp/http/Connection.h"
#include "p2sp/http/HttpShare.h"
#include "p2sp/http/HttpSource.h"
#include "p2sp/http/SourceStats.h"

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

// The swarm beside the round, as the round sees it.
struct SwarmGlance {
    bool running = false;
    bool peers = false;  // at least one connected past the handshake
    uint32_t rate = 0;   // verified bytes per second from peers
};

class HttpRound {
public:
    static constexpr int kLeastPerSource = 2;                 // beside fast peers
    static constexpr uint64_t kSharedClaimBytes = 256u << 10;  // the longest claim beside a swarm
    static constexpr uint64_t kMaxRaceBytes = 16u << 20;       // a piece raced for is held in memory

    // What the round needs of its task.
    class Owner {
    public:
        virtual ~Owner() = default;
        virtual SwarmGlance Glance() = 0;
        // The map's done bytes changed: keep the record and the figures
        // current. False when the record cannot be written.
        virtual bool Progress() = 0;
    };

    struct Setup {
        TransferContext* context = nullptr;  // owned by the task
        SegmentMap* map = nullptr;
        std::vector<SourceStats*> sources;  // live sources, the task's URL first
        int fullPerSource = 1;              // what an HTTP-only task runs
        bool besideSwarm = false;
        uint64_t pieceLength = 0;           // of the checked pieces, 0 when none
    };

    enum class End { kComplete, kStopped, kLocalError, kRestart, kSeedMismatch, kRefused, kTransient };

    HttpRound(const Setup& setup, Owner* owner);
    ~HttpRound();  // joins every connection
    HttpRound(const HttpRound&) = delete;
    HttpRound& operator=(const HttpRound&) = delete;

    // The download's first request, still open and answered with a range
    // covering `first`, goes on as the first connection's first segment
    // when the map lets it take that range; otherwise it is left in `open`.
    bool AdoptFirst(std::unique_ptr<HttpSource>* open, const ByteRange& first);
    End Run();

private:
    using Slot = std::pair<int, int>;  // source index in setup_.sources, rank

    void Pace(const SwarmGlance& glance, uint64_t nowMs);
    // Starts the connections of ranks below PerSource that are missing or
    // ended for want of work, where there is work for them.
    void Staff(uint64_t nowMs);
    Connection* Start(size_t source, int rank);
    bool AnyRunning() const;

    Setup setup_;
    Owner* owner_;
    std::map<Slot, std::unique_ptr<Connection>> slots_;
    int nextId_ = 0;
    int perSource_;
    HttpShare share_;
    uint64_t deferrals_ = 0;
};
