// HTTP tracker announces: the query a client sends (percent-encoded info
// hash and peer id, the transfer figures, an event, compact=1) and the
// tracker's bencoded answer (peers in compact or dictionary form, interval,
// failure reason). No platform code: the request goes out elsewhere.
#pragma once

#include "p2sp/swarm/PeerAddress.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class AnnounceEvent { kNone, kStarted, kCompleted, kStopped };

struct AnnounceParams {
    uint8_t infoHash[20] = {};
    uint8_t peerId[20] = {};
    uint16_t port = 0;  // 0 when nothing listens: the tracker still lists us as a leecher
    uint64_t uploaded = 0;
    uint64_t downloaded = 0;
    uint64_t left = 0;
    AnnounceEvent event = AnnounceEvent::kNone;
    int numWant = 50;
    uint32_t key = 0;  // identifies this client across address changes
};

// The announce URL with the query appended ('&' when it already has one).
std::string BuildAnnounceUrl(const std::string& announce, const AnnounceParams& params);

// Bytes as a query value: unreserved characters stay, every other byte is %XX.
std::string PercentEncodeBytes(const uint8_t* data, size_t size);

struct AnnounceReply {
    std::string failure;  // non-empty: the tracker refused; nothing else is set
    std::string warning;
    int64_t interval = 0;     // seconds until the next regular announce
    int64_t minInterval = 0;  // 0 when not given
    int64_t seeders = -1;     // -1 when not given
    int64_t leechers = -1;
    std::vector<PeerAddress> peers;
};

// The most peers taken from one answer; the rest are ignored.
constexpr size_t kMaxAnnouncePeers = 200;
constexpr size_t kMaxAnnounceReplyBytes = 1u << 20;

// False when the answer is not a bencoded dictionary with either a failure
// reason or an interval and peers ("peers", and compact IPv6 "peers6").
// Peers with port 0 are skipped.
bool ParseAnnounceReply(const uint8_t* data, size_t size, AnnounceReply* out);
