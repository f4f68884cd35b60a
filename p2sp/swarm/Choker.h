// Who may download from us. Every round (the caller runs one each 10
// seconds) the interested peers that gave us most lately keep a regular
// upload slot (tit for tat; once our file is complete, those we send to
// fastest, since nobody gives us anything); one more slot goes to an
// interested peer chosen at random, and moves every third round, so a new
// peer gets a chance to show what it gives. No platform code.
#pragma once

#include <cstdint>
#include <vector>

struct ChokerPeer {
    int id = 0;
    bool interested = false;  // the peer wants something we have
    uint64_t rate = 0;        // bytes per second: from it while downloading, to it while seeding
};

class Choker {
public:
    explicit Choker(int slots = 4, uint32_t randomSeed = 1);

    // Returns the ids to unchoke; every other peer is choked.
    std::vector<int> Round(const std::vector<ChokerPeer>& peers);
    int Optimistic() const { return optimistic_; }
    int Slots() const { return slots_; }

private:
    uint32_t NextRandom();
    int slots_;
    uint32_t random_;
    int round_ = 0;
    int optimistic_ = -1;
};
