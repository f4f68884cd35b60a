// How a peer serves our requests, and what follows from it: how many
// requests it may have in flight (by the rate it sends at), when it is
// snubbed (it left our requests unanswered too long: they are cancelled and
// go to others, and it gets only one probe request until it sends again),
// and when a connection is of no use to either side and is dropped.
// Plain arithmetic on a clock the caller gives; no platform code.
#pragma once

#include <cstddef>
#include <cstdint>

struct PeerService {
    static constexpr uint64_t kSnubMs = 10000;         // requests unanswered this long: snubbed
    static constexpr uint64_t kSnubPauseMs = 30000;    // then nothing asked of it for this long
    static constexpr uint64_t kUselessMs = 120000;     // neither side gave or wanted anything this long
    static constexpr uint64_t kQueueMs = 2000;         // requests in flight cover this long at its rate
    static constexpr size_t kFirstQueue = 8;           // before it has sent anything
    static constexpr size_t kMinQueue = 2;
    static constexpr size_t kMaxQueue = 64;            // 1 MiB in flight

    uint64_t connectedMs = 0;     // the handshake completed then
    uint64_t waitingSinceMs = 0;  // our requests have been out unanswered since then (0: none out)
    uint64_t lastBlockMs = 0;     // its last block to us (0: none yet)
    uint64_t lastInterestMs = 0;  // it last said it was interested (0: never)
    uint64_t snubbedUntilMs = 0;
    bool probation = false;       // snubbed and has not sent a block since: one request at a time
    uint32_t rate = 0;            // bytes per second it has sent us lately

    // Our requests went out while none were: the wait starts now.
    void Asked(uint64_t nowMs) {
        if (waitingSinceMs == 0) waitingSinceMs = nowMs ? nowMs : 1;
    }
    // A block arrived; `stillWaiting` when other requests are still out.
    void Delivered(uint64_t nowMs, bool stillWaiting) {
        lastBlockMs = nowMs;
        probation = false;
        waitingSinceMs = stillWaiting ? nowMs : 0;
    }
    // None of our requests is out any more (choked, cancelled).
    void NothingOut() { waitingSinceMs = 0; }

    bool Snubbed(uint64_t nowMs) const { return nowMs < snubbedUntilMs; }
    // True when the requests out now have waited too long; the caller
    // cancels them and calls Snub.
    bool SnubDue(uint64_t nowMs) const {
        return waitingSinceMs != 0 && nowMs > waitingSinceMs && nowMs - waitingSinceMs >= kSnubMs;
    }
    void Snub(uint64_t nowMs) {
        snubbedUntilMs = nowMs + kSnubPauseMs;
        probation = true;
        waitingSinceMs = 0;
    }
    // How many requests it may have in flight now. A snubbed peer is asked
    // nothing while `anotherServes` (its blocks go to the sources that send);
    // when none does, waiting out the pause gains nothing, so it stays on
    // probation instead: one request at a time until it sends again.
    size_t RequestBudget(uint64_t nowMs, bool anotherServes = true) const;
    // Nothing came from it and it wanted nothing from us for a while,
    // keep-alives notwithstanding: the slot is better used by another peer.
    bool Useless(uint64_t nowMs, bool interestedInUs) const;
};
