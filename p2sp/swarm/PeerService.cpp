#include "p2sp/swarm/PeerService.h"

#include "p2sp/swarm/PeerWire.h"

#include <algorithm>

size_t PeerService::RequestBudget(uint64_t nowMs, bool anotherServes) const {
    if (Snubbed(nowMs) && anotherServes) return 0;
    if (probation) return 1;
    if (lastBlockMs == 0) return kFirstQueue;
    const uint64_t blocks = uint64_t(rate) * kQueueMs / 1000 / kBlockBytes;
    return size_t(std::min<uint64_t>(std::max<uint64_t>(blocks, kMinQueue), kMaxQueue));
}

bool PeerService::Useless(uint64_t nowMs, bool interestedInUs) const {
    if (interestedInUs) return false;
    const uint64_t last = std::max(std::max(connectedMs, lastBlockMs), lastInterestMs);
    return nowMs > last && nowMs - last >= kUselessMs;
}
