// The peers of one task: finds them through the trackers, connects to them
// and accepts their connections, asks them for pieces the HTTP sources are
// not fetching, checks each piece's SHA-1 before it counts, bans a peer that
// sends two bad pieces, and serves verified pieces back under an upload cap
// with a tit-for-tat choker. One thread; the task owns it.
//
// Pieces asked of peers are held in the task's segment map, so no HTTP
// connection fetches them too; a verified piece is marked done there, and
// pieces the HTTP sources complete are announced to the peers.
#pragma once

#include "p2sp/SegmentMap.h"
#include "p2sp/SpeedMeter.h"
#include "p2sp/swarm/SwarmOptions.h"
#include "p2sp/swarm/SwarmStorage.h"
#include "p2sp/swarm/TorrentMeta.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

class SwarmLoop;

// What the task shows of its swarm.
struct SwarmFigures {
    uint64_t downloaded = 0;  // verified piece bytes from peers
    uint64_t uploaded = 0;
    uint32_t downloadRate = 0;
    uint32_t uploadRate = 0;
    uint16_t peers = 0;       // connected, past the handshake
    uint16_t banned = 0;
    uint16_t badPieces = 0;
    uint16_t listenPort = 0;  // 0 when not listening
    uint16_t mappedPort = 0;  // the home router's port for it; 0 when none was granted
    uint8_t mapping = 0;      // P2SP_MAPPING_*
    uint16_t dialled = 0;     // active peers by how they were reached
    uint16_t accepted = 0;
    uint16_t exchanged = 0;
    uint16_t utp = 0;         // active peers over uTP
    uint16_t introduced = 0;  // active peers reached through an introduction
    uint16_t announces = 0;
    uint16_t trackerFailures = 0;
};

class Swarm {
public:
    Swarm(const TorrentMeta& meta, const uint8_t infoHash[20], const SwarmOptions& options, SegmentMap* map,
          SwarmStorage* storage);
    ~Swarm();  // stops
    Swarm(const Swarm&) = delete;
    Swarm& operator=(const Swarm&) = delete;

    bool Start();
    void Stop();         // and waits for the thread
    void RequestStop();  // returns at once
    // The file is complete: announce it, and from now on only give.
    void Completed();
    bool Running() const { return running_.load(); }
    SwarmFigures Figures();

private:
    void Run();

    std::unique_ptr<SwarmLoop> loop_;  // the thread's state and work
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
};
