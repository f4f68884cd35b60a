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
#include <vector>

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

    // Starts a new round with the whole units of `done` already present.
    // Forgets every owner, race and exclusion, and defers nothing; holds and
    // the avoided bytes stay, and so do the units marked done meanwhile when
    // the size is the same (a piece the swarm verified while the task read
    // `done`).
    void Reset(const Plan& plan, const RangeSet& done);
    // Forgets everything, done bytes and holds included: the file starts over.
    void Clear();

    // Gives connection `id` (of source `source`, 0..31) a segment [begin, end).
    // False when nothing is left that this connection may fetch.
    bool Claim(int id, int source, ByteRange* segment);
    // Connection `id` takes over `segment`, already requested (the first
    // request of a download). False, and nothing taken, unless all of it is
    // free: bytes owned, held or done are never fetched by a second party.
    bool Adopt(int id, const ByteRange& segment);
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
    // Bytes [begin, end) failed a later check: they are missing again.
    void Unmark(uint64_t begin, uint64_t end);
    // Connection `id` lets its segment go; what is not done becomes free.
    void Release(int id);
    // Source `source` must not be given [begin, end) again (it served bad data there).
    void Exclude(uint64_t begin, uint64_t end, int source);

    // Ranges fetched outside the connections (pieces asked of peers): a
    // holder takes a free range whole, no connection is given or splits it,
    // and holds outlive Reset. False when any of it is done, owned or held.
    bool Hold(int holder, const ByteRange& range, uint64_t nowMs = 0);
    void Unhold(int holder);
    void UnholdAll();
    // Runs `write` (which returns false when it failed) under the map's lock
    // while `holder` still holds all of [begin, end): a peer's block lands
    // only in a piece that nobody else has taken meanwhile. False when the
    // hold is gone (nothing written) or the write failed.
    template <typename Write>
    bool WriteHeld(int holder, uint64_t begin, uint64_t end, Write&& write) {
        std::lock_guard<std::mutex> hold(lock_);
        return HeldBy(holder, begin, end) && write();
    }
    // `holder`'s piece [begin, end) verified: done, and no longer held.
    // False (nothing marked) when the hold was taken back meanwhile.
    bool MarkHeldDone(int holder, uint64_t begin, uint64_t end);

    // The endgame: a connection with nothing free to fetch may race the
    // peers for a held range at most `maxBytes` long, held for `minHeldMs`
    // or more. It fetches the range into memory and checks it; the first
    // of the two to verify wins. One race per range.
    bool ClaimRace(int id, int source, uint64_t nowMs, uint64_t minHeldMs, uint64_t maxBytes, ByteRange* range);
    // The race's range verified: under the lock the hold is taken from the
    // peers (their blocks are refused from now on), `write` stores the
    // verified bytes and the range is done. False when it is no longer
    // this connection's race or the range was done by someone else.
    template <typename Write>
    bool FinishRace(int id, const ByteRange& range, Write&& write) {
        std::lock_guard<std::mutex> hold(lock_);
        if (!TakeRaceWon(id, range)) return false;
        if (!write()) return false;
        done_.Add(range.begin, range.end);
        return true;
    }
    void DropRace(int id);
    // Whether a connection of `source` would be given anything now: free
    // bytes it may fetch, or a held range it may race for.
    bool HasWorkFor(int source, uint64_t nowMs, uint64_t minHeldMs, uint64_t maxRaceBytes) const;
    // What nobody owns or holds and is not done.
    RangeSet Free() const;
    // The longest claim from now on (0: the plan's segments), rounded up to the unit.
    void SetMaxSegment(uint64_t bytes);
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

    // Whether some connection owns a segment now (HTTP is fetching).
    bool Fetching() const;
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
    struct Held {
        ByteRange range;
        uint64_t sinceMs = 0;
    };
    uint64_t AlignUp(uint64_t v) const;
    bool HeldBy(int holder, uint64_t begin, uint64_t end) const;
    bool TakeRaceWon(int id, const ByteRange& range);
    const Held* Raceable(int source, uint64_t nowMs, uint64_t minHeldMs, uint64_t maxBytes) const;
    bool Excluded(uint64_t begin, uint64_t end, int source) const;
    bool TakeFree(int source, ByteRange* out);
    std::vector<ByteRange> RunsFor(int source, const RangeSet& taken) const;
    bool TakeFreeOutside(int source, const RangeSet& taken, ByteRange* out);
    uint64_t NextRandom();
    RangeSet Taken() const;
    bool TakeSplit(int source, int* owner, ByteRange* out) const;

    mutable std::mutex lock_;
    Plan plan_;
    uint64_t segmentBytes_ = 0;  // planned segment length
    RangeSet done_;
    std::map<int, Owned> owned_;
    std::map<int, Held> held_;
    std::map<int, ByteRange> races_;  // connection -> the held range it races for
    RangeSet avoid_;
    bool defer_ = false;
    uint64_t deferrals_ = 0;
    uint64_t random_ = 0;  // scatter state
    std::map<uint64_t, std::pair<uint64_t, uint32_t>> excluded_;  // begin -> (end, source mask)
};
