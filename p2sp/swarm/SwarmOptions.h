// How a task's swarm reaches others and gives back: the listening address
// and port range (listening may be off: outgoing connections still carry
// pieces both ways), the upload cap and slots. Set through the engine's
// options; read as text so the option stays a plain string. No platform code.
#pragma once

#include "p2sp/swarm/SeedLimits.h"

#include <cstdint>
#include <string>

class PortMapper;
class UploadBudget;

// How peers are reached besides TCP: uTP over UDP on the listening port,
// with introductions (hole punching) through peers connected to both ends.
enum class UtpMode : uint8_t {
    kOff,   // TCP only
    kOn,    // both: uTP first where a peer is known to speak it, the other as fallback
    kOnly,  // uTP alone: no TCP dials, no TCP listener (tests of interplay with other clients)
};

struct SwarmOptions {
    bool listen = true;
    uint32_t listenAddress = 0;  // host order; 0 is every interface
    uint16_t firstPort = 6881;
    uint16_t lastPort = 6889;
    UploadBudget* upload = nullptr;  // the engine's one upload cap (not owned); none: give nothing
    PortMapper* mapper = nullptr;    // the engine's port mappings (not owned); none: no mapping
    int uploadSlots = 4;            // regular slots plus the optimistic one
    int maxPeers = 40;
    int maxPerAddress = 8;          // connections with one host (players behind one router)
    bool allowLoopback = false;     // peers on 127.0.0.0/8 (tests on one machine only)
    UtpMode utp = UtpMode::kOn;
    SeedLimits seedLimits;
};

// "off", or "[ADDRESS:]PORT[-LAST]" with a dotted IPv4 address: the range is
// tried in order. False (options unchanged) for anything else.
bool ParseListenOption(const std::wstring& text, SwarmOptions* options);
// "0" (TCP only), "1" (TCP and uTP, the default) or "only" (uTP alone).
bool ParseUtpOption(const std::wstring& text, UtpMode* mode);
// A decimal count of bytes per second.
bool ParseUploadCapOption(const std::wstring& text, uint32_t* cap);
// "PERCENT:MINUTES", the seeding limits (each at most 100000 and 525600; 0
// turns one off).
bool ParseSeedLimitsOption(const std::wstring& text, SeedLimits* limits);
