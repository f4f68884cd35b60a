// LEDBAT congestion control of one connection: the send window grows while
// our packets' queueing delay is under the target and shrinks above it, so
// a transfer fills the path without building a queue past the target.
//
// The delay comes from the peer: each packet it sends carries its clock at
// the time it got our last packet minus that packet's time stamp. That raw
// figure holds the offset between the two clocks as well; the least figure
// of the last two minutes (kept as one least figure per minute) stands for
// the path with no queue, and only what a sample has above it counts as
// queueing delay. The figures are 32-bit clock differences and wrap, so they
// are compared as such. Keeping minima per minute also follows a drift of
// the peer's clock.
#pragma once

#include <cstddef>
#include <cstdint>

class UtpLedbat {
public:
    static constexpr double kMaxIncreasePerRtt = 3000;  // bytes the window may grow by per round trip
    static constexpr uint64_t kBaseMinuteUs = 60000000;

    UtpLedbat(uint32_t minWindow, uint32_t maxWindow, uint32_t targetUs);

    // A timestamp difference from the peer (0 means it had none to give).
    void AddDelaySample(uint32_t timestampDiffUs, uint64_t nowUs);
    // `bytesAcked` newly acked while `flightBytes` were in flight.
    void OnAck(size_t bytesAcked, size_t flightBytes);
    // A packet was lost: the window halves, at most once per round trip.
    void OnLoss(uint64_t nowUs, uint64_t rttUs);
    // Nothing came back within the time-out: one packet at a time (delay
    // and loss bring it down to two at least).
    void OnTimeout();

    uint32_t window() const { return uint32_t(window_); }
    uint32_t ourDelayUs() const { return ourDelayUs_; }

private:
    uint32_t BaseDelay() const;

    const double minWindow_;
    const double maxWindow_;
    const uint32_t targetUs_;
    double window_;
    uint32_t ourDelayUs_ = 0;
    bool hasDelay_ = false;
    bool hasPreviousMinute_ = false;
    uint32_t minuteLeast_ = 0;  // least difference of this minute
    uint32_t previousLeast_ = 0;
    uint64_t minuteStartUs_ = 0;
    bool cutOnce_ = false;
    uint64_t lastCutUs_ = 0;
};
