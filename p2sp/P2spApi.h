// The P2SP engine library's plain C boundary, shared by the engine DLL and
// the program that loads it. Every export uses __stdcall and is exported
// under its undecorated name (QelvoP2SP.def), on both i686 and x86_64.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#define P2SP_API __stdcall

// The status record QueryTask fills. The caller zeroes it; only the fields
// below are part of the contract, every other byte belongs to the engine.
// Offsets are fixed and identical on 32- and 64-bit builds.
#pragma pack(push, 1)
// What one source (the task's URL or a mirror) brought so far.
struct P2spSourceInfo {
    uint64_t bytes;             // body bytes used from this source
    uint32_t rate;              // bytes per second now
    uint16_t connections;       // open now
    uint16_t maxConnections;    // most open at once
    uint16_t badPieces;         // pieces that failed their hash
    uint8_t dropped;            // 1 once the source is no longer used
    uint8_t reserved[5];
};
enum { P2SP_MAX_SOURCE_INFO = 8 };

// What the task's peers brought and took (a torrent seed only).
struct P2spSwarmInfo {
    uint64_t peerBytes;         // verified piece bytes from peers
    uint64_t uploadedBytes;     // block bytes sent to peers
    uint32_t uploadRate;        // bytes per second now
    uint16_t peers;             // connected now
    uint16_t bannedPeers;       // for sending bad pieces
    uint16_t badPieces;         // pieces from peers that failed their hash
    uint16_t listenPort;        // 0 when not listening
    uint16_t announces;         // tracker announces answered
    uint16_t trackerFailures;   // announces no tracker answered
    uint8_t state;              // P2SP_SWARM_*
};

// How the task's peers were reached, and the mapping at the home router.
struct P2spReachInfo {
    uint16_t mappedPort;        // the router's port for ours; 0 when none was granted
    uint8_t mapping;            // P2SP_MAPPING_*
    uint16_t dialled;           // connected now that we dialled
    uint16_t accepted;          // connected now that dialled us
    uint16_t exchanged;         // connected now that another peer told us of
    uint16_t utp;               // connected now over uTP (the rest over TCP)
    uint16_t introduced;        // connected now through an introduction (hole punching)
};

struct P2spTaskInfo {
    uint8_t reserved0[8];
    uint64_t totalBytes;        // 8: total size, 0 while unknown
    uint64_t completedBytes;    // 16: bytes on disk and verified so far
    uint8_t reserved24[36];
    uint32_t serverSpeed;       // 60: bytes per second from server/mirror sources
    uint32_t peerSpeed;         // 64: bytes per second from peers
    uint8_t reserved68;
    uint8_t state;              // 69: P2SP_STATE_*
    // Engine-private from here on: the program never reads these bytes. The
    // harness prints them.
    uint8_t reserved70[2];
    uint8_t sourceCount;        // 72: entries used in `sources`
    uint8_t reserved73[3];
    P2spSourceInfo sources[P2SP_MAX_SOURCE_INFO];  // 76: the task's URL, then mirrors
    P2spSwarmInfo swarm;        // 268
    P2spReachInfo reach;        // 301
    uint8_t reserved314[282];
};
#pragma pack(pop)

static_assert(sizeof(P2spTaskInfo) == 596, "P2spTaskInfo is 596 bytes");
static_assert(offsetof(P2spTaskInfo, totalBytes) == 8, "total at 8");
static_assert(offsetof(P2spTaskInfo, completedBytes) == 16, "completed at 16");
static_assert(offsetof(P2spTaskInfo, serverSpeed) == 60, "server speed at 60");
static_assert(offsetof(P2spTaskInfo, peerSpeed) == 64, "peer speed at 64");
static_assert(offsetof(P2spTaskInfo, state) == 69, "state at 69");
static_assert(sizeof(P2spSourceInfo) == 24, "source entries are 24 bytes");
static_assert(offsetof(P2spTaskInfo, sources) == 76, "source entries at 76");
static_assert(sizeof(P2spSwarmInfo) == 33, "the swarm entry is 33 bytes");
static_assert(offsetof(P2spTaskInfo, swarm) == 268, "the swarm entry at 268");
static_assert(sizeof(P2spReachInfo) == 13, "the reach entry is 13 bytes");
static_assert(offsetof(P2spTaskInfo, reach) == 301, "the reach entry at 301");

enum : uint8_t {
    P2SP_STATE_RUNNING = 0,      // running or idle
    P2SP_STATE_FINISHED = 1,     // target file complete on disk
    P2SP_STATE_SOURCE_FAILED = 5,  // the source refused the download
    P2SP_STATE_LOCAL_FAILED = 6,   // the target could not be created or written
};

enum : uint8_t {
    P2SP_SWARM_NONE = 0,         // no torrent seed for this task
    P2SP_SWARM_DOWNLOADING = 1,
    P2SP_SWARM_SEEDING = 2,
};

enum : uint8_t {
    P2SP_MAPPING_NONE = 0,       // none granted (or not listening, or mapping off)
    P2SP_MAPPING_PCP = 1,
    P2SP_MAPPING_NATPMP = 2,
    P2SP_MAPPING_UPNP = 3,
};

enum {
    P2SP_OPTION_SEED_URL = 3,
    // The listening socket of every later swarm: "off", or
    // "[ADDRESS:]PORT[-LAST]"; on by default, on every interface, 6881-6889.
    P2SP_OPTION_LISTEN = 4,
    // One upload cap for every swarm together, in bytes per second ("0":
    // give nothing); running swarms follow a change at once.
    P2SP_OPTION_UPLOAD_CAP = 5,
    // When a finished task stops seeding on its own: "PERCENT:MINUTES", the
    // share ratio in percent of the file and the minutes after it finished,
    // whichever comes first; 0 turns one off. Default "100:30".
    P2SP_OPTION_SEED_LIMITS = 6,
    // "1": peers on 127.0.0.0/8 may be dialled and accepted (tests on one
    // machine); "0", the default: never.
    P2SP_OPTION_LOOPBACK_PEERS = 7,
    // "1", the default: every later swarm that listens asks the home router
    // to map its port (PCP, NAT-PMP, then UPnP IGD); "0": never.
    P2SP_OPTION_PORT_MAPPING = 8,
    // "1", the default: every later swarm also speaks uTP on its listening
    // port and has peers introduced through others (hole punching); "0":
    // TCP only; "only": uTP alone (tests).
    P2SP_OPTION_UTP = 9,
};

extern "C" {
typedef int(P2SP_API* P2spInitFn)(int reserved);
typedef int(P2SP_API* P2spLoginFn)(void);                       // no-op
typedef void(P2SP_API* P2spUninitFn)(void);
typedef int(P2SP_API* P2spCreateTaskFn)(HWND owner, const wchar_t* url, const wchar_t* targetPath);
typedef int(P2SP_API* P2spQueryTaskFn)(int taskId, P2spTaskInfo* info);
typedef int(P2SP_API* P2spStartTaskFn)(int taskId);
typedef int(P2SP_API* P2spStopTaskFn)(int taskId);
typedef int(P2SP_API* P2spStopSeedFn)(void);
typedef int(P2SP_API* P2spGetFinishMessageFn)(void);            // no-op
typedef int(P2SP_API* P2spRemoveTaskFn)(int taskId);
typedef int(P2SP_API* P2spSetConfigInfoFn)(void);               // no-op
typedef int(P2SP_API* P2spUpdateRegInfoFn)(void);               // no-op
typedef int(P2SP_API* P2spSetOptionFn)(int option, const wchar_t* value, int valueBytes);
}
