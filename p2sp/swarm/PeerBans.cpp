#include "p2sp/swarm/PeerBans.h"

bool PeerBans::Strike(const PeerKey& k) {
    if (Banned(k)) return true;
    const IpAddress host = k.ip.Host();
    if (strikes_.size() >= kMaxEntries && !strikes_.count(host)) strikes_.erase(strikes_.begin());
    if (++strikes_[host] < kStrikesToBan) return false;
    Ban(k);
    return true;
}

void PeerBans::Ban(const PeerKey& k) {
    const IpAddress host = k.ip.Host();
    if (Banned(host) && BannedId(k.id)) return;
    // A full table keeps its oldest entries: they were proven first, and a
    // peer that makes up addresses to push them out gains nothing by it.
    bool added = false;
    if (!Banned(host) && addresses_.size() < kMaxEntries) added = addresses_.insert(host).second;
    if (!k.id.empty() && !BannedId(k.id) && ids_.size() < kMaxEntries) added = ids_.insert(k.id).second || added;
    if (added) ++banCount_;
    strikes_.erase(host);
}
