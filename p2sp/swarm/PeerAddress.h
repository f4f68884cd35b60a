// Where a peer listens (or, for one that dialled us, where it came from).
#pragma once

#include "p2sp/swarm/IpAddress.h"

#include <cstdint>
#include <string>

struct PeerAddress {
    IpAddress ip;
    uint16_t port = 0;

    static PeerAddress V4(uint32_t hostOrder, uint16_t port) { return PeerAddress{IpAddress::V4(hostOrder), port}; }
    bool operator==(const PeerAddress& o) const { return ip == o.ip && port == o.port; }
    bool operator<(const PeerAddress& o) const { return ip != o.ip ? ip < o.ip : port < o.port; }
};

// For traces: IPv4 as eight hex digits and the port ("7f000001:6881"),
// IPv6 in brackets ("[2001:db8::1]:6881").
std::string PeerAddressTrace(const PeerAddress& a);
