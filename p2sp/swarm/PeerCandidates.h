// The addresses a swarm may dial, as trackers name them: only addresses a
// peer can have (no unspecified, loopback, multicast or reserved address, no
// port 0), each dialled again only after a wait that doubles with every
// failed attempt, and forgotten after a few failures. The table is bounded,
// so a tracker that names thousands of addresses costs no more than this.
// No platform code; not thread-safe (the swarm's thread owns it).
#pragma once

#include "p2sp/swarm/TrackerAnnounce.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

// Whether a peer may be at `a`: never port 0, 0.0.0.0/8, 224.0.0.0/4
// (multicast) or 240.0.0.0/4 (reserved, broadcast), nor IPv6 multicast,
// link-local or ::/8 (unspecified and reserved); 127.0.0.0/8 and ::1 only
// when loopback peers are allowed (tests on one machine).
bool PeerAddressUsable(const PeerAddress& a, bool allowLoopback);

class PeerCandidates {
public:
    static constexpr size_t kMaxCandidates = 500;
    static constexpr int kMaxFailures = 3;          // then the address is forgotten
    static constexpr uint64_t kRedialMs = 30000;    // after a failure, doubled for each further one

    explicit PeerCandidates(bool allowLoopback = false) : allowLoopback_(allowLoopback) {}

    // A tracker (or another source) names `a`. False when it is not usable
    // or the table is full.
    bool Add(const PeerAddress& a);
    // Up to `max` addresses due for a dial at `nowMs`, marked as dialled.
    // `skip(a)` leaves out those connected or banned now.
    template <typename Skip>
    std::vector<PeerAddress> Due(uint64_t nowMs, size_t max, Skip&& skip);
    // The dial to `a` failed (refused, timed out, closed before the handshake).
    void Failed(const PeerAddress& a);
    // `a` answered the handshake: its failures are forgiven.
    void Succeeded(const PeerAddress& a);
    void Forget(const PeerAddress& a) { table_.erase(a); }
    size_t Size() const { return table_.size(); }
    bool Knows(const PeerAddress& a) const { return table_.count(a) != 0; }

private:
    struct Entry {
        uint64_t lastDialMs = 0;
        bool dialled = false;
        int failures = 0;
    };
    bool allowLoopback_;
    std::map<PeerAddress, Entry> table_;
};

template <typename Skip>
std::vector<PeerAddress> PeerCandidates::Due(uint64_t nowMs, size_t max, Skip&& skip) {
    std::vector<PeerAddress> due;
    for (auto& entry : table_) {
        if (due.size() >= max) break;
        Entry& e = entry.second;
        if (e.dialled) {
            const uint64_t wait = kRedialMs << (e.failures > 0 ? e.failures - 1 : 0);
            if (nowMs < e.lastDialMs + wait) continue;
        }
        if (skip(entry.first)) continue;
        e.dialled = true;
        e.lastDialMs = nowMs;
        due.push_back(entry.first);
    }
    return due;
}
