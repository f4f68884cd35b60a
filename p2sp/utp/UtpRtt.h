// The round trip of a connection and the time-out it gives: smoothed round
// trip and its mean deviation from samples of packets sent once, the time-out
// rtt + 4 * deviation but never under half a second, doubled at each time-out
// in a row up to a cap.
#pragma once

#include <cstdint>

class UtpRtt {
public:
    static constexpr uint64_t kInitialTimeoutUs = 1000000;
    static constexpr uint64_t kMinTimeoutUs = 500000;
    static constexpr uint64_t kMaxTimeoutUs = 16000000;
    static constexpr uint64_t kMaxSampleUs = 60000000;  // longer is a clock fault, not a round trip

    void AddSample(uint64_t sampleUs);
    // The time-out for the packet sent now.
    uint64_t TimeoutUs() const;
    void OnTimeout() { ++timeoutsInRow_; }
    void OnProgress() { timeoutsInRow_ = 0; }
    uint32_t rttUs() const { return uint32_t(rttUs_); }
    bool HasSample() const { return hasSample_; }

private:
    bool hasSample_ = false;
    uint64_t rttUs_ = 0;
    uint64_t varianceUs_ = 0;
    unsigned timeoutsInRow_ = 0;
};
