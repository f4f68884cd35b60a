// The extension protocol's handshake and peer exchange (ut_pex): peers tell
// each other of the peers they are connected to, so a swarm outlives its
// tracker's interval and a peer met through another can be dialled. Bounded
// like the trackers' lists: at most 50 peers added per message (more are
// not read), messages of at most 16 KiB, addresses checked by the caller as
// any other candidate. No platform code.
#pragma once

#include "p2sp/swarm/TrackerAnnounce.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

constexpr uint8_t kOurPexId = 1;          // the id we ask peers to send ut_pex under
constexpr uint8_t kOurHolepunchId = 2;    // ... and ut_holepunch (HolePunch.h)
constexpr size_t kMaxPexPeers = 50;       // added (and dropped) per message
constexpr size_t kMaxExtendedBytes = 16 * 1024;
constexpr uint64_t kPexIntervalMs = 60000;  // one message a minute each way

// What a peer exchange message says of each added peer (one byte each).
enum : uint8_t {
    kPexEncryption = 0x01,  // prefers encrypted connections
    kPexSeed = 0x02,        // has the whole file
    kPexUtp = 0x04,         // speaks uTP
    kPexHolepunch = 0x08,   // takes introductions (ut_holepunch)
    kPexReachable = 0x10,   // the teller dialled it: it takes incoming connections
};

struct ExtendedHandshake {
    uint8_t pexId = 0;        // the peer's id for ut_pex; 0 when it does not speak it
    uint8_t holepunchId = 0;  // ... for ut_holepunch
    uint16_t listenPort = 0;  // where it listens; 0 when it did not say
    bool saidYourIp = false;  // it said where it sees us coming from:
    IpAddress yourIp;
};

// Our extension handshake: ut_pex under kOurPexId, ut_holepunch under
// kOurHolepunchId when we take introductions, our listening port (0: not
// said), our client name, and with `yourIp` where we see the peer from.
std::vector<uint8_t> ExtendedHandshakePayload(uint16_t listenPort, bool holepunch = false,
                                              const IpAddress* yourIp = nullptr);
bool ParseExtendedHandshake(const uint8_t* data, size_t size, ExtendedHandshake* out);

// A ut_pex message: compact peers added since the last one (each with a
// flags byte) and dropped, IPv4 under "added"/"dropped", IPv6 under
// "added6"/"dropped6".
// `addedFlags` gives each added peer's flags (kPex*; missing ones are 0).
std::vector<uint8_t> PexPayload(const std::vector<PeerAddress>& added, const std::vector<PeerAddress>& dropped,
                                const std::vector<uint8_t>& addedFlags = {});
// The peers added, of both families (at most kMaxPexPeers in all), and
// with `flags` each one's flags (0 where the message gave none); false when
// the message is not a sound ut_pex message.
bool ParsePex(const uint8_t* data, size_t size, std::vector<PeerAddress>* added, std::vector<uint8_t>* flags = nullptr);

// What to tell a peer now: the difference between the peers we are
// connected to and what it was told before, at most kMaxPexPeers each way;
// `told` becomes what it knows after this message.
void PexDifference(const std::set<PeerAddress>& now, std::set<PeerAddress>* told, std::vector<PeerAddress>* added,
                   std::vector<PeerAddress>* dropped);
