// When a finished task stops seeding on its own. A player's uplink is
// lent, not given: seeding ends once the task has given back `ratioPercent`
// of the file (counting what it gave while downloading), or `minutes`
// after the file was finished, whichever comes first. 0 turns that limit
// off; with both off it seeds until StopSeed, RemoveTask or Uninit.
// No platform code.
#pragma once

#include <cstdint>

struct SeedLimits {
    uint32_t ratioPercent = 100;
    uint32_t minutes = 30;

    bool Over(uint64_t uploaded, uint64_t fileSize, uint64_t finishedMs, uint64_t nowMs) const {
        // In doubles: a share ratio needs no byte's precision, and no size overflows them.
        if (ratioPercent > 0 && fileSize > 0 && double(uploaded) * 100.0 >= double(fileSize) * ratioPercent)
            return true;
        return minutes > 0 && nowMs > finishedMs && nowMs - finishedMs >= uint64_t(minutes) * 60000;
    }
};
