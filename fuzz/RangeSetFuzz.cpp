// Any bytes as a sequence of additions to a range set over a small file,
// checked after each against a plain byte map: the set stays sorted, disjoint
// and merged, and every question it answers matches the map.
#include "fuzz/FuzzCheck.h"
#include "p2sp/record/RangeSet.h"

#include <bitset>

namespace {

const uint64_t kFileSize = 256;  // every range lies inside [0, 256]
using ByteMap = std::bitset<kFileSize>;

bool Present(const ByteMap& map, uint64_t pos) { return pos < kFileSize && map[pos]; }

void CheckAgainstMap(const RangeSet& set, const ByteMap& map, uint64_t a, uint64_t b) {
    uint64_t previousEnd = 0;
    bool first = true;
    for (const ByteRange& r : set.Ranges()) {
        FUZZ_CHECK(r.begin < r.end, "an empty range is kept");
        FUZZ_CHECK(first || r.begin > previousEnd, "ranges are unsorted, overlap or touch");
        previousEnd = r.end;
        first = false;
    }
    FUZZ_CHECK(set.CoveredBytes() == map.count(), "covered bytes differ from the map");
    FUZZ_CHECK(set.Empty() == map.none(), "emptiness differs from the map");

    bool all = true;
    for (uint64_t p = a; p < b; ++p) all = all && Present(map, p);
    FUZZ_CHECK(set.Covers(a, b) == all, "Covers differs from the map");

    uint64_t run = 0;
    if (a > 0 && Present(map, a - 1) && !Present(map, a)) {
        while (run < a && Present(map, a - 1 - run)) ++run;
    }
    FUZZ_CHECK(set.RunEndingAt(a) == run, "RunEndingAt differs from the map");

    std::vector<ByteRange> gaps;
    for (uint64_t p = 0; p < b; ++p) {
        if (Present(map, p)) continue;
        if (!gaps.empty() && gaps.back().end == p) {
            ++gaps.back().end;
        } else {
            gaps.push_back(ByteRange{p, p + 1});
        }
    }
    FUZZ_CHECK(set.Gaps(b) == gaps, "Gaps differs from the map");
    ByteRange gap;
    const bool hasGap = set.FirstGap(b, &gap);
    FUZZ_CHECK(hasGap == !gaps.empty(), "FirstGap finds a gap the map lacks, or misses one");
    FUZZ_CHECK(!hasGap || gap == gaps.front(), "FirstGap differs from the first gap");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RangeSet set;
    ByteMap map;
    for (size_t i = 0; i + 1 < size; i += 2) {
        const uint64_t a = data[i] % (kFileSize + 1);
        const uint64_t b = data[i + 1] % (kFileSize + 1);
        set.Add(a, b);  // an empty or reversed range adds nothing
        for (uint64_t p = a; p < b; ++p) map.set(p);
        CheckAgainstMap(set, map, a, b);
        CheckAgainstMap(set, map, b, a);
    }
    return 0;
}
