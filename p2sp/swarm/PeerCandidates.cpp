#include "p2sp/swarm/PeerCandidates.h"

bool PeerAddressUsable(const PeerAddress& a, bool allowLoopback) {
    if (a.port == 0) return false;
    const uint32_t top = a.ipv4 >> 24;
    if (top == 0) return false;                     // "this network", unspecified
    if (top >= 224) return false;                   // multicast, reserved, broadcast
    if (top == 127 && !allowLoopback) return false;
    return true;
}

bool PeerCandidates::Add(const PeerAddress& a) {
    if (!PeerAddressUsable(a, allowLoopback_)) return false;
    if (table_.count(a)) return true;
    if (table_.size() >= kMaxCandidates) return false;
    table_[a] = Entry();
    return true;
}

void PeerCandidates::Failed(const PeerAddress& a) {
    auto it = table_.find(a);
    if (it == table_.end()) return;
    if (++it->second.failures >= kMaxFailures) table_.erase(it);
}

void PeerCandidates::Succeeded(const PeerAddress& a) {
    auto it = table_.find(a);
    if (it != table_.end()) it->second.failures = 0;
}
