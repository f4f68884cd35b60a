#include "p2sp/record/RangeSet.h"

#include <algorithm>

void RangeSet::Add(uint64_t begin, uint64_t end) {
    if (begin >= end) return;
    // First range that ends at or after `begin`: everything before it stays.
    auto first = std::lower_bound(ranges_.begin(), ranges_.end(), begin,
                                  [](const ByteRange& r, uint64_t v) { return r.end < v; });
    auto last = first;
    while (last != ranges_.end() && last->begin <= end) {
        begin = std::min(begin, last->begin);
        end = std::max(end, last->end);
        ++last;
    }
    first = ranges_.erase(first, last);
    ranges_.insert(first, ByteRange{begin, end});
}

void RangeSet::Remove(uint64_t begin, uint64_t end) {
    if (begin >= end) return;
    std::vector<ByteRange> kept;
    kept.reserve(ranges_.size() + 1);
    for (const ByteRange& r : ranges_) {
        if (r.end <= begin || end <= r.begin) {
            kept.push_back(r);
            continue;
        }
        if (r.begin < begin) kept.push_back(ByteRange{r.begin, begin});
        if (end < r.end) kept.push_back(ByteRange{end, r.end});
    }
    ranges_.swap(kept);
}

uint64_t RangeSet::CoveredBytes() const {
    uint64_t sum = 0;
    for (const ByteRange& r : ranges_) sum += r.end - r.begin;
    return sum;
}

bool RangeSet::Covers(uint64_t begin, uint64_t end) const {
    if (begin >= end) return true;
    auto it = std::upper_bound(ranges_.begin(), ranges_.end(), begin,
                               [](uint64_t v, const ByteRange& r) { return v < r.begin; });
    if (it == ranges_.begin()) return false;
    --it;
    return it->begin <= begin && end <= it->end;
}

uint64_t RangeSet::RunEndingAt(uint64_t pos) const {
    for (const ByteRange& r : ranges_) {
        if (r.end == pos) return r.end - r.begin;
        if (r.end > pos) break;
    }
    return 0;
}

bool RangeSet::FirstGap(uint64_t limit, ByteRange* gap) const {
    uint64_t pos = 0;
    for (const ByteRange& r : ranges_) {
        if (pos >= limit) break;
        if (r.begin > pos) {
            *gap = ByteRange{pos, std::min(r.begin, limit)};
            return true;
        }
        pos = r.end;
    }
    if (pos < limit) {
        *gap = ByteRange{pos, limit};
        return true;
    }
    return false;
}

std::vector<ByteRange> RangeSet::Gaps(uint64_t limit) const {
    std::vector<ByteRange> gaps;
    uint64_t pos = 0;
    for (const ByteRange& r : ranges_) {
        if (pos >= limit) break;
        if (r.begin > pos) gaps.push_back(ByteRange{pos, std::min(r.begin, limit)});
        pos = std::max(pos, r.end);
    }
    if (pos < limit) gaps.push_back(ByteRange{pos, limit});
    return gaps;
}
