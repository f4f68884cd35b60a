#include "p2sp/SegmentMap.h"

#include <algorithm>
#include <vector>

void SegmentMap::Reset(const Plan& plan, const RangeSet& done) {
    std::lock_guard<std::mutex> hold(lock_);
    const bool sameFile = plan.totalSize == plan_.totalSize && plan.totalSize > 0;
    const RangeSet before = done_;
    plan_ = plan;
    if (plan_.unit == 0) plan_.unit = 1;
    if (plan_.connections < 1) plan_.connections = 1;
    plan_.minSplit = AlignUp(std::max<uint64_t>(plan_.minSplit, 1));
    // Whole units only: a part of a piece never counts as done.
    done_.Clear();
    const auto addWholeUnits = [&](const RangeSet& ranges) {
        for (const ByteRange& r : ranges.Ranges()) {
            const uint64_t begin = AlignUp(r.begin);
            const uint64_t end = r.end >= plan_.totalSize ? plan_.totalSize : r.end / plan_.unit * plan_.unit;
            if (begin < end) done_.Add(begin, end);
        }
    };
    addWholeUnits(done);
    if (sameFile) addWholeUnits(before);
    owned_.clear();
    races_.clear();
    excluded_.clear();
    uint64_t missing = plan_.totalSize - std::min(plan_.totalSize, done_.CoveredBytes());
    segmentBytes_ = AlignUp(std::max(plan_.minSplit, missing / uint64_t(plan_.connections)));
    random_ = plan_.scatterSeed;
    defer_ = false;
}

void SegmentMap::Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    plan_ = Plan();
    segmentBytes_ = 0;
    done_.Clear();
    owned_.clear();
    held_.clear();
    races_.clear();
    avoid_.Clear();
    defer_ = false;
    excluded_.clear();
}

uint64_t SegmentMap::NextRandom() {
    // splitmix64: a full-period sequence from any seed, good enough to spread claims.
    uint64_t z = (random_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint64_t SegmentMap::AlignUp(uint64_t v) const {
    uint64_t rest = v % plan_.unit;
    return rest ? v + (plan_.unit - rest) : v;
}

bool SegmentMap::Excluded(uint64_t begin, uint64_t end, int source) const {
    uint32_t bit = 1u << (source & 31);
    auto it = excluded_.upper_bound(begin);
    if (it != excluded_.begin()) --it;
    for (; it != excluded_.end() && it->first < end; ++it)
        if (it->second.first > begin && (it->second.second & bit)) return true;
    return false;
}

RangeSet SegmentMap::Taken() const {
    RangeSet taken = done_;
    for (const auto& entry : owned_) taken.Add(entry.second.begin, entry.second.end);
    for (const auto& entry : held_) taken.Add(entry.second.range.begin, entry.second.range.end);
    return taken;
}

bool SegmentMap::TakeFree(int source, ByteRange* out) {
    RangeSet taken = Taken();
    if (!avoid_.Empty()) {
        RangeSet both = taken;
        for (const ByteRange& r : avoid_.Ranges()) both.Add(r.begin, std::min(r.end, plan_.totalSize));
        if (TakeFreeOutside(source, both, out)) return true;
        if (defer_) return false;
    }
    return TakeFreeOutside(source, taken, out);
}

std::vector<ByteRange> SegmentMap::RunsFor(int source, const RangeSet& taken) const {
    // The free runs this source may fetch: the gaps, cut around the ranges
    // it must not be given again.
    uint32_t bit = 1u << (source & 31);
    std::vector<ByteRange> runs;
    for (const ByteRange& gap : taken.Gaps(plan_.totalSize)) {
        uint64_t pos = gap.begin;
        auto it = excluded_.upper_bound(gap.begin);
        if (it != excluded_.begin()) --it;
        for (;; ++it) {
            bool atEnd = it == excluded_.end() || it->first >= gap.end;
            uint64_t stop = atEnd ? gap.end : std::max(pos, it->first);
            if (atEnd || (it->second.second & bit)) {
                if (stop > pos) runs.push_back(ByteRange{pos, stop});
                if (atEnd) break;
                pos = std::max(pos, std::min(gap.end, it->second.first));
            }
        }
    }
    return runs;
}

bool SegmentMap::TakeFreeOutside(int source, const RangeSet& taken, ByteRange* out) {
    const std::vector<ByteRange> runs = RunsFor(source, taken);
    if (runs.empty()) return false;
    ByteRange best;
    if (plan_.scatterSeed != 0) {
        // Any free unit edge, each as likely as the next.
        uint64_t units = 0;
        for (const ByteRange& r : runs) units += (r.end - r.begin + plan_.unit - 1) / plan_.unit;
        uint64_t pick = NextRandom() % units;
        for (const ByteRange& r : runs) {
            uint64_t n = (r.end - r.begin + plan_.unit - 1) / plan_.unit;
            if (pick < n) {
                best = ByteRange{r.begin + pick * plan_.unit, r.end};
                break;
            }
            pick -= n;
        }
    } else {
        for (const ByteRange& r : runs)
            if (r.end - r.begin > best.end - best.begin) best = r;
    }
    uint64_t length = best.end - best.begin;
    uint64_t take = std::min(length, segmentBytes_);
    if (length - take < plan_.minSplit) take = length;  // no sliver left behind
    // A bounded claim leaves the rest free for those who hold pieces (peers).
    if (plan_.maxSegment > 0) take = std::min(take, AlignUp(plan_.maxSegment));
    *out = ByteRange{best.begin, std::min(best.end, AlignUp(best.begin + take))};
    return true;
}

bool SegmentMap::TakeSplit(int source, int* owner, ByteRange* out) const {
    uint64_t bestLeft = 0;
    for (const auto& entry : owned_) {
        const Owned& o = entry.second;
        uint64_t from = std::max(std::max(o.next, o.begin), o.committed);
        if (from >= o.end) continue;
        uint64_t left = o.end - from;
        if (left < 2 * plan_.minSplit || left <= bestLeft) continue;
        uint64_t mid = AlignUp(from + left / 2);
        if (mid >= o.end || Excluded(mid, o.end, source)) continue;
        bestLeft = left;
        *owner = entry.first;
        *out = ByteRange{mid, o.end};
    }
    return bestLeft > 0;
}

bool SegmentMap::Claim(int id, int source, ByteRange* segment) {
    std::lock_guard<std::mutex> hold(lock_);
    owned_.erase(id);
    ByteRange range;
    int owner = -1;
    if (TakeFree(source, &range)) {
    } else if (TakeSplit(source, &owner, &range)) {
        owned_[owner].end = range.begin;  // the owner stops where the new segment starts
    } else {
        if (defer_ && !avoid_.Empty() && !Taken().Gaps(plan_.totalSize).empty()) ++deferrals_;
        return false;
    }
    owned_[id] = Owned{range.begin, range.begin, range.begin, range.end};
    *segment = range;
    return true;
}

bool SegmentMap::Adopt(int id, const ByteRange& segment) {
    std::lock_guard<std::mutex> hold(lock_);
    if (segment.begin >= segment.end || segment.end > plan_.totalSize) return false;
    owned_.erase(id);
    bool free = false;
    for (const ByteRange& gap : Taken().Gaps(plan_.totalSize))
        free = free || (gap.begin <= segment.begin && segment.end <= gap.end);
    if (!free) return false;
    owned_[id] = Owned{segment.begin, segment.begin, segment.end, segment.end};
    return true;
}

uint64_t SegmentMap::Commit(int id, uint64_t pos, uint64_t maxBytes) {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = owned_.find(id);
    if (it == owned_.end() || pos >= it->second.end) return 0;
    Owned& o = it->second;
    o.next = std::max(o.next, pos);
    uint64_t end = std::min(o.end, AlignUp(pos + std::max<uint64_t>(maxBytes, 1)));
    o.committed = std::max(o.committed, end);
    return end;
}

uint64_t SegmentMap::Advance(int id, uint64_t pos) {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = owned_.find(id);
    if (it == owned_.end()) return 0;
    it->second.next = std::max(it->second.next, pos);
    return it->second.end;
}

uint64_t SegmentMap::EndOf(int id) const {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = owned_.find(id);
    return it == owned_.end() ? 0 : it->second.end;
}

void SegmentMap::MarkDone(uint64_t begin, uint64_t end) {
    std::lock_guard<std::mutex> hold(lock_);
    done_.Add(begin, std::min(end, plan_.totalSize));
}

void SegmentMap::Unmark(uint64_t begin, uint64_t end) {
    std::lock_guard<std::mutex> hold(lock_);
    done_.Remove(begin, end);
}

void SegmentMap::Release(int id) {
    std::lock_guard<std::mutex> hold(lock_);
    owned_.erase(id);
    races_.erase(id);
}

bool SegmentMap::Hold(int holder, const ByteRange& range, uint64_t nowMs) {
    std::lock_guard<std::mutex> hold(lock_);
    if (range.begin >= range.end || range.end > plan_.totalSize) return false;
    held_.erase(holder);
    for (const ByteRange& gap : Taken().Gaps(plan_.totalSize))
        if (gap.begin <= range.begin && range.end <= gap.end) {
            held_[holder] = Held{range, nowMs};
            return true;
        }
    return false;
}

void SegmentMap::Unhold(int holder) {
    std::lock_guard<std::mutex> hold(lock_);
    held_.erase(holder);
}

void SegmentMap::UnholdAll() {
    std::lock_guard<std::mutex> hold(lock_);
    held_.clear();
}

bool SegmentMap::HeldBy(int holder, uint64_t begin, uint64_t end) const {
    auto it = held_.find(holder);
    return it != held_.end() && it->second.range.begin <= begin && end <= it->second.range.end && begin < end;
}

bool SegmentMap::MarkHeldDone(int holder, uint64_t begin, uint64_t end) {
    std::lock_guard<std::mutex> hold(lock_);
    if (!HeldBy(holder, begin, end)) return false;
    done_.Add(begin, std::min(end, plan_.totalSize));
    held_.erase(holder);
    return true;
}

bool SegmentMap::ClaimRace(int id, int source, uint64_t nowMs, uint64_t minHeldMs, uint64_t maxBytes,
                           ByteRange* range) {
    std::lock_guard<std::mutex> hold(lock_);
    owned_.erase(id);
    races_.erase(id);
    const Held* best = Raceable(source, nowMs, minHeldMs, maxBytes);
    if (!best) return false;
    races_[id] = best->range;
    *range = best->range;
    return true;
}

bool SegmentMap::TakeRaceWon(int id, const ByteRange& range) {
    auto it = races_.find(id);
    if (it == races_.end() || !(it->second == range)) return false;
    races_.erase(it);
    // Lost when anything of it is done, or a connection owns part of it
    // (the peers gave it back and HTTP fetches it the ordinary way).
    for (const ByteRange& r : done_.Ranges())
        if (r.begin < range.end && range.begin < r.end) return false;
    for (const auto& entry : owned_)
        if (entry.second.begin < range.end && range.begin < entry.second.end) return false;
    for (auto h = held_.begin(); h != held_.end();) {
        if (h->second.range.begin < range.end && range.begin < h->second.range.end) h = held_.erase(h);
        else ++h;
    }
    return true;
}

bool SegmentMap::HasWorkFor(int source, uint64_t nowMs, uint64_t minHeldMs, uint64_t maxRaceBytes) const {
    std::lock_guard<std::mutex> hold(lock_);
    if (!RunsFor(source, Taken()).empty()) return true;
    return maxRaceBytes > 0 && Raceable(source, nowMs, minHeldMs, maxRaceBytes) != nullptr;
}

const SegmentMap::Held* SegmentMap::Raceable(int source, uint64_t nowMs, uint64_t minHeldMs, uint64_t maxBytes) const {
    // The range held longest that is short enough, held long enough, not
    // raced yet, and that this source may fetch.
    const Held* best = nullptr;
    for (const auto& entry : held_) {
        const Held& h = entry.second;
        if (h.range.end - h.range.begin > maxBytes || nowMs < h.sinceMs + minHeldMs) continue;
        if (Excluded(h.range.begin, h.range.end, source)) continue;
        bool raced = false;
        for (const auto& race : races_) raced = raced || race.second == h.range;
        if (raced) continue;
        if (!best || h.sinceMs < best->sinceMs) best = &h;
    }
    return best;
}

void SegmentMap::DropRace(int id) {
    std::lock_guard<std::mutex> hold(lock_);
    races_.erase(id);
}

RangeSet SegmentMap::Free() const {
    std::lock_guard<std::mutex> hold(lock_);
    RangeSet free;
    for (const ByteRange& gap : Taken().Gaps(plan_.totalSize)) free.Add(gap.begin, gap.end);
    return free;
}

void SegmentMap::SetMaxSegment(uint64_t bytes) {
    std::lock_guard<std::mutex> hold(lock_);
    plan_.maxSegment = bytes;
}

void SegmentMap::SetAvoid(const RangeSet& avoid) {
    std::lock_guard<std::mutex> hold(lock_);
    avoid_ = avoid;
}

void SegmentMap::DeferAvoided(bool on) {
    std::lock_guard<std::mutex> hold(lock_);
    defer_ = on;
}

bool SegmentMap::Deferring() const {
    std::lock_guard<std::mutex> hold(lock_);
    return defer_ && !avoid_.Empty() && !Taken().Gaps(plan_.totalSize).empty();
}

uint64_t SegmentMap::Deferrals() const {
    std::lock_guard<std::mutex> hold(lock_);
    return deferrals_;
}

void SegmentMap::Exclude(uint64_t begin, uint64_t end, int source) {
    std::lock_guard<std::mutex> hold(lock_);
    // Kept as whole entries: exclusions are few (one per bad piece).
    auto& entry = excluded_[begin];
    entry.first = std::max(entry.first, end);
    entry.second |= 1u << (source & 31);
}

bool SegmentMap::Fetching() const {
    std::lock_guard<std::mutex> hold(lock_);
    return !owned_.empty();
}

bool SegmentMap::Complete() const {
    std::lock_guard<std::mutex> hold(lock_);
    return plan_.totalSize > 0 && done_.Covers(0, plan_.totalSize);
}

RangeSet SegmentMap::Done() const {
    std::lock_guard<std::mutex> hold(lock_);
    return done_;
}

uint64_t SegmentMap::DoneBytes() const {
    std::lock_guard<std::mutex> hold(lock_);
    return done_.CoveredBytes();
}

uint64_t SegmentMap::TotalSize() const {
    std::lock_guard<std::mutex> hold(lock_);
    return plan_.totalSize;
}
