// The few Winsock exchanges of port mapping, each bounded by a deadline
// (GetTickCount64) and by the size of what it reads.
#pragma once

// Winsock 2 must come before anything that includes windows.h.
#include <winsock2.h>

#include "p2sp/portmap/UpnpIgd.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Sends `request` to ipv4:port over UDP and waits for a datagram `accept`
// takes, sending again after each wait in `waitsMs` (RFC 6886's doubling).
// False when none came, when the host said the port is closed (ICMP), or at
// the deadline or `stop`.
bool UdpAsk(uint32_t ipv4, uint16_t port, const std::vector<uint8_t>& request, const std::vector<DWORD>& waitsMs,
            uint64_t deadline, const std::atomic<bool>& stop,
            const std::function<bool(const uint8_t*, size_t)>& accept);
// Sends `request` over TCP and reads until the server closes, at most
// kUpnpDocumentMax bytes beyond the head.
bool TcpAsk(const IgdUrl& url, const std::string& request, uint64_t deadline, const std::atomic<bool>& stop,
            std::string* answer);
// Sends the SSDP search from `localIpv4` and collects answers until the
// deadline or the first one `accept` takes.
bool SsdpAsk(uint32_t localIpv4, uint64_t deadline, const std::atomic<bool>& stop,
             const std::function<bool(const std::string&)>& accept);
// Our address on the route to `ipv4` (a UDP socket connected there).
bool LocalAddressTowards(uint32_t ipv4, uint32_t* local);
// The next hop of the IPv4 default route with the lowest metric.
bool DefaultGateway(uint32_t* ipv4);
