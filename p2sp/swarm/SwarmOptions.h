// How a task's swarm reaches others and gives back: the listening address
// and port range (listening may be off: outgoing connections still carry
// pieces both ways), the upload cap and slots. Set through the engine's
// options; read as text so the option stays a plain string. No platform code.
#pragma once

#include <cstdint>
#include <string>

struct SwarmOptions {
    bool listen = true;
    uint32_t listenAddress = 0;  // host order; 0 is every interface
    uint16_t firstPort = 6881;
    uint16_t lastPort = 6889;
    uint32_t uploadCap = 1u << 20;  // bytes per second over all peers; 0 is no upload at all
    int uploadSlots = 4;            // regular slots plus the optimistic one
    int maxPeers = 40;
};

// "off", or "[ADDRESS:]PORT[-LAST]" with a dotted IPv4 address: the range is
// tried in order. False (options unchanged) for anything else.
bool ParseListenOption(const std::wstring& text, SwarmOptions* options);
// A decimal count of bytes per second.
bool ParseUploadCapOption(const std::wstring& text, SwarmOptions* options);
