#include "p2sp/swarm/PeerCandidates.h"

#include <cstring>

bool PeerAddressUsable(const PeerAddress& a, bool allowLoopback) {
    if (a.port == 0) return false;
    const uint8_t* b = a.ip.bytes;
    if (a.ip.IsV4()) {
        const uint32_t top = b[12];
        if (top == 0) return false;                     // "this network", unspecified
        if (top >= 224) return false;                   // multicast, reserved, broadcast
        if (top == 127 && !allowLoopback) return false;
        return true;
    }
    static const uint8_t kLoopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    if (std::memcmp(b, kLoopback, 16) == 0) return allowLoopback;
    if (b[0] == 0xff) return false;                     // multicast
    if (b[0] == 0xfe && (b[1] & 0xc0) == 0x80) return false;  // link-local: no scope to dial it in
    // The rest of ::/8: unspecified, IPv4-compatible and other reserved forms.
    if (b[0] == 0) return false;
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
