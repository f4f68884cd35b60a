// Decides, beside a swarm, how much the HTTP sources do. The origin is the
// scarce part of a swarm, so HTTP steps back as far as the peers make up
// for it, and no further: the download must never be slower than HTTP
// alone would be.
//
// What HTTP alone achieves is measured, not guessed: every connection an
// HTTP-only task would have runs at first, and the rate they reach once all
// have had work for a whole window is the yardstick. While HTTP and the
// peers together stay above it, HTTP runs fewer connections (as few as the
// peers let it, down to a floor); when they fall below it, HTTP takes every
// connection back at once and measures again. While the peers alone match
// it, HTTP also leaves the pieces they have to them, until the two together
// fall behind.
//
// The caller supplies the clock and the figures (the engine's two-second
// rates, bytes per second), so this is tested with fakes.
#pragma once

#include <cstdint>

class HttpShare {
public:
    static constexpr uint64_t kSettleMs = 2000;  // one full speed window
    static constexpr int kNarrowPercent = 105;   // HTTP steps back while the total stays above this
    static constexpr int kBehindPercent = 95;    // ... and takes everything back below this

    struct Sample {
        uint64_t nowMs = 0;
        bool peersConnected = false;  // a running swarm with at least one peer
        uint32_t httpRate = 0;        // every HTTP source together
        uint32_t peerRate = 0;
        bool httpWaited = false;  // some connection found nothing to fetch since the last sample
    };

    // `full`: the connections per source an HTTP-only task would run;
    // `least`: the fewest beside fast peers.
    HttpShare(int full, int least);

    void Update(const Sample& s);

    int PerSource() const { return perSource_; }
    bool Deferring() const { return defer_; }
    // What HTTP alone achieved, measured; 0 before it was.
    uint32_t AloneRate() const { return aloneRate_; }

private:
    void Widen(uint64_t nowMs);
    void UpdateDefer(const Sample& s);

    const int full_;
    const int least_;
    int perSource_;
    bool started_ = false;
    uint64_t busySince_ = 0;     // every connection has had work since then
    uint64_t changedAt_ = 0;     // the connection count last changed then
    uint64_t behindSince_ = 0;   // the total has been below the yardstick since then (0: it is not)
    uint32_t aloneRate_ = 0;
    bool defer_ = false;
};
