#include "p2sp/swarm/PeerBans.h"

bool PeerBans::Strike(const PeerKey& k) {
    if (Banned(k)) return true;
    if (strikes_.size() >= kMaxEntries && !strikes_.count(k.ipv4)) strikes_.erase(strikes_.begin());
    if (++strikes_[k.ipv4] < kStrikesToBan) return false;
    Ban(k);
    return true;
}

void PeerBans::Ban(const PeerKey& k) {
    if (Banned(k.ipv4) && BannedId(k.id)) return;
    // A full table keeps its oldest entries: they were proven first, and a
    // peer that makes up addresses to push them out gains nothing by it.
    bool added = false;
    if (!Banned(k.ipv4) && addresses_.size() < kMaxEntries) added = addresses_.insert(k.ipv4).second;
    if (!k.id.empty() && !BannedId(k.id) && ids_.size() < kMaxEntries) added = ids_.insert(k.id).second || added;
    if (added) ++banCount_;
    strikes_.erase(k.ipv4);
}
