// A set of byte ranges of one file, kept sorted, disjoint and merged.
#pragma once

#include <cstdint>
#include <vector>

// Half-open byte range [begin, end).
struct ByteRange {
    uint64_t begin = 0;
    uint64_t end = 0;
    bool operator==(const ByteRange& o) const { return begin == o.begin && end == o.end; }
};

class RangeSet {
public:
    // Marks [begin, end) as present; touching or overlapping ranges merge.
    void Add(uint64_t begin, uint64_t end);
    // Marks [begin, end) as missing again.
    void Remove(uint64_t begin, uint64_t end);
    void Clear() { ranges_.clear(); }
    bool Empty() const { return ranges_.empty(); }

    uint64_t CoveredBytes() const;
    bool Covers(uint64_t begin, uint64_t end) const;
    // End of the highest range, 0 when empty.
    uint64_t HighestEnd() const { return ranges_.empty() ? 0 : ranges_.back().end; }
    // Length of the present run that ends exactly at `pos` (0 when pos is not such an end).
    uint64_t RunEndingAt(uint64_t pos) const;
    // The first missing range inside [0, limit); false when [0, limit) is complete.
    bool FirstGap(uint64_t limit, ByteRange* gap) const;
    // Every missing range inside [0, limit), in order.
    std::vector<ByteRange> Gaps(uint64_t limit) const;

    const std::vector<ByteRange>& Ranges() const { return ranges_; }
    bool operator==(const RangeSet& o) const { return ranges_ == o.ranges_; }

private:
    std::vector<ByteRange> ranges_;  // sorted by begin, non-empty, never touching
};
