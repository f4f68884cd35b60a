// Hands the missing bytes of one file out to connections. Each connection
// owns at most one segment at a time and fills it from its start upward;
// the bytes it fetched but that are not yet done (written, and verified when
// pieces are checked) stay its own until it marks them done or lets go.
//
// A connection asking for work gets the largest free run (cut to the planned
// segment size), or, when nothing is free, the back half of what is left of
// the segment with the most bytes left: that segment's owner sees its end
// move down and stops there. A connection fetches its segment in requests
// of bounded length and commits each before it sends it; a split never cuts
// a committed request, so no request is abandoned half read (WinINet cannot
// reuse such a connection, and the server has sent bytes nobody uses).
// Segment edges fall on multiples of the unit (the piece length when pieces
// are verified), except the end of the file.
//
// Thread-safe: every connection calls in from its own thread.
#pragma once

#include "p2sp/record/RangeSet.h"

#include <cstdint>
#include <map>
#include <mutex>

class SegmentMap {
public:
    struct Plan {
        uint64_t totalSize = 0;
        uint64_t unit = 1;               // segment edges are multiples of this
        uint64_t minSplit = 256u << 10;  // a split leaves each half at least this long
        int connections = 1;             // how many connections share the missing bytes
        uint64_t maxSegment = 0;         // when not 0, no claim is longer (rounded up to the unit)
        // When not 0, claims begin at random unit edges of the free bytes
        // (drawn from this seed), so tasks sharing a swarm fetch different
        // parts from the same server and trade them.
        uint64_t scatterSeed = 0;
    };

    // Starts over with `done` already present. Forgets every owner and
    // exclusion, and defers nothing; holds and the avoided bytes stay.
    void Reset(const Plan& plan, const RangeSet& done);

    // Gives connection `id` (of source `source`, 0..31) a segment [begin, end).
    // False when nothing is left that this connection may fetch.
    bool Claim(int id, int source, ByteRange* segment);
    // Connection `id` takes over `segment`, already requested (the first
    // request of a download). It must be free.
    void Adopt(int id, const ByteRange& segment);
    // Connection `id`, at `pos`, is about to ask for up to `maxBytes` more:
    // returns where that request must end (at most the segment's end, on a
    // unit edge), which no split may move below. 0 when it owns nothing there.
    uint64_t Commit(int id, uint64_t pos, uint64_t maxBytes);
    // Connection `id` fetched up to `pos` in its segment. Returns the end it
    // must stop at now (a split may have moved it below `pos`).
    uint64_t Advance(int id, uint64_t pos);
    // The end of connection `id`'s segment now; 0 when it owns none.
    uint64_t EndOf(int id) const;
    // Bytes [begin, end) are on disk (and verified): they count as done.
    void MarkDone(uint64_t begin, uint64_t end);
    // Connection `id` lets its segment go; what is not done becomes free.
    void Release(int id);
    // Source `source` must not be given [begin, end) again (it served bad data there).
    void Exclude(uint64_t begin, uint64_t end, int source);

    // Ranges fetched outside the connections (pieces asked of peers): a
    // holder takes a free range whole, no connection is given or splits it,
    // and holds outlive Reset. False when any of it is done, owned or held.
    bool Hold(int holder, const ByteRange& range);
    void Unhold(int holder);
    // What nobody owns or holds and is not done.
    RangeSet Free() const;
    // Connections take free bytes outside `avoid` first (what peers can
    // give), and bytes inside it only when nothing else is free...
    void SetAvoid(const RangeSet& avoid);
    // ... or never, while `on`: those bytes are left to the peers.
    void DeferAvoided(bool on);
    // A claim just failed only because what is free is left to the peers:
    // the connection may wait for that to change rather than end.
    bool Deferring() const;
    // How many claims found only bytes left to the peers (the connections
    // were idle for want of work).
    uint64_t Deferrals() const;

    bool Complete() const;
    RangeSet Done() const;
    uint64_t DoneBytes() const;
    uint64_t TotalSize() const;

private:
    struct Owned {
        uint64_t begin = 0;  // everything from here to `end` is this connection's
        uint64_t next = 0;   // fetched up to here
        uint64_t committed = 0;  // requested up to here: splits start at or after it
        uint64_t end = 0;
    };
    uint64_t AlignUp(uint64_t v) const;
    bool Excluded(uint64_t begin, uint64_t end, int source) const;
    bool TakeFree(int source, ByteRange* out);
    bool TakeFreeOutside(int source, const RangeSet& taken, ByteRange* out);
    uint64_t NextRandom();
    RangeSet Taken() const;
    bool TakeSplit(int source, int* owner, ByteRange* out) const;

    mutable std::mutex lock_;
    Plan plan_;
    uint64_t segmentBytes_ = 0;  // planned segment length
    RangeSet done_;
    std::map<int, Owned> owned_;
    std::map<int, ByteRange> held_;
    RangeSet avoid_;
    bool defer_ = false;
    uint64_t deferrals_ = 0;
    uint64_t random_ = 0;  // scatter state
    std::map<uint64_t, std::pair<uint64_t, uint32_t>> excluded_;  // begin -> (end, source mask)
};
