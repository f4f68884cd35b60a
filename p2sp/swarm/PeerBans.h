// Whom the swarm refuses: peers that sent data that failed its check. A
// peer is known by its address (any port: an incoming peer's port is a
// passing one) and by its peer id, and a ban holds for both, so reconnecting
// from another port or under a new id does not get around it. Both tables
// are bounded. No platform code; not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>

struct PeerKey {
    uint32_t ipv4 = 0;
    std::string id;  // the 20 bytes of its handshake
    bool operator<(const PeerKey& o) const { return ipv4 != o.ipv4 ? ipv4 < o.ipv4 : id < o.id; }
    bool operator==(const PeerKey& o) const { return ipv4 == o.ipv4 && id == o.id; }
};

class PeerBans {
public:
    static constexpr int kStrikesToBan = 2;  // bad pieces sent by one peer alone
    static constexpr size_t kMaxEntries = 1000;

    bool Banned(uint32_t ipv4) const { return addresses_.count(ipv4) != 0; }
    bool BannedId(const std::string& id) const { return ids_.count(id) != 0; }
    bool Banned(const PeerKey& k) const { return Banned(k.ipv4) || BannedId(k.id); }
    // A piece that `k` alone sent failed its check. True when `k` is banned now.
    bool Strike(const PeerKey& k);
    // Proven to have sent a bad block: banned at once.
    void Ban(const PeerKey& k);
    size_t Count() const { return banCount_; }

private:
    std::set<uint32_t> addresses_;
    std::set<std::string> ids_;
    std::map<uint32_t, int> strikes_;  // by address: a new id from the same host adds up
    size_t banCount_ = 0;
};
