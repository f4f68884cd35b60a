#include "p2sp/swarm/Choker.h"

#include <algorithm>

Choker::Choker(int slots, uint32_t randomSeed) : slots_(std::max(1, slots)), random_(randomSeed ? randomSeed : 1) {}

uint32_t Choker::NextRandom() {
    random_ ^= random_ << 13;
    random_ ^= random_ >> 17;
    random_ ^= random_ << 5;
    return random_;
}

std::vector<int> Choker::Round(const std::vector<ChokerPeer>& peers) {
    std::vector<const ChokerPeer*> interested;
    for (const ChokerPeer& p : peers)
        if (p.interested) interested.push_back(&p);
    std::stable_sort(interested.begin(), interested.end(),
                     [](const ChokerPeer* a, const ChokerPeer* b) { return a->rate > b->rate; });

    const size_t regular = size_t(slots_ - 1);
    std::vector<int> unchoked;
    for (size_t i = 0; i < interested.size() && i < regular; ++i) unchoked.push_back(interested[i]->id);

    // The optimistic slot: kept for three rounds while its peer stays
    // interested and has not earned a regular slot.
    std::vector<int> candidates;
    for (size_t i = regular; i < interested.size(); ++i) candidates.push_back(interested[i]->id);
    bool keep = round_ % 3 != 0 &&
                std::find(candidates.begin(), candidates.end(), optimistic_) != candidates.end();
    if (!keep) optimistic_ = candidates.empty() ? -1 : candidates[NextRandom() % candidates.size()];
    if (optimistic_ >= 0) unchoked.push_back(optimistic_);
    ++round_;
    return unchoked;
}
