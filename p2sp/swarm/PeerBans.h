// Whom the swarm refuses: peers that sent data that failed its check. A
// peer is known by its address (any port: an incoming peer's port is a
// passing one; for IPv6 the /64 it lies in, see IpAddress::Host) and by its
// peer id, and a ban holds for both, so reconnecting
// from another port or under a new id does not get around it. Both tables
// are bounded. No platform code; not thread-safe.
#pragma once

#include "p2sp/swarm/IpAddress.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>

struct PeerKey {
    IpAddress ip;
    std::string id;  // the 20 bytes of its handshake
    bool operator<(const PeerKey& o) const { return ip != o.ip ? ip < o.ip : id < o.id; }
    bool operator==(const PeerKey& o) const { return ip == o.ip && id == o.id; }
};

class PeerBans {
public:
    static constexpr int kStrikesToBan = 2;  // bad pieces sent by one peer alone
    static constexpr size_t kMaxEntries = 1000;

    bool Banned(const IpAddress& ip) const { return addresses_.count(ip.Host()) != 0; }
    bool BannedId(const std::string& id) const { return ids_.count(id) != 0; }
    bool Banned(const PeerKey& k) const { return Banned(k.ip) || BannedId(k.id); }
    // A piece that `k` alone sent failed its check. True when `k` is banned now.
    bool Strike(const PeerKey& k);
    // Proven to have sent a bad block: banned at once.
    void Ban(const PeerKey& k);
    size_t Count() const { return banCount_; }

private:
    std::set<IpAddress> addresses_;  // hosts (IpAddress::Host)
    std::set<std::string> ids_;
    std::map<IpAddress, int> strikes_;  // by address: a new id from the same host adds up
    size_t banCount_ = 0;
};
