// UDP tracker packets (the UDP tracker protocol for BitTorrent): the connect
// exchange that yields a connection id, and the announce that carries the
// transfer figures and returns peers. All numbers are big-endian. No platform
// code: the datagrams go out elsewhere.
#pragma once

#include "p2sp/swarm/TrackerAnnounce.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kUdpConnectBytes = 16;
constexpr size_t kUdpAnnounceBytes = 98;
// The largest answer read: a header and kMaxAnnouncePeers addresses.
constexpr size_t kUdpMaxReplyBytes = 20 + 6 * kMaxAnnouncePeers;

// "udp://host:port[/...]": false when it is not such a URL or the port is
// missing, zero or out of range.
bool ParseUdpTrackerUrl(const std::string& url, std::string* host, uint16_t* port);

std::vector<uint8_t> BuildUdpConnect(uint32_t transactionId);

// The announce for a connection id from a connect answer. A numWant below 0
// asks for the tracker's default.
std::vector<uint8_t> BuildUdpAnnounce(uint64_t connectionId, uint32_t transactionId, const AnnounceParams& params);

// How a datagram answers the request with transactionId.
enum class UdpReply {
    kOther,    // not an answer to it (another transaction, too short, another action): keep waiting
    kAnswer,   // the answer
    kRefused,  // the tracker's error message for it; `failure` holds its text
};

UdpReply ParseUdpConnectReply(const uint8_t* data, size_t size, uint32_t transactionId, uint64_t* connectionId,
                              std::string* failure);
// Peers with port 0 are skipped; at most kMaxAnnouncePeers are taken.
UdpReply ParseUdpAnnounceReply(const uint8_t* data, size_t size, uint32_t transactionId, AnnounceReply* out);
