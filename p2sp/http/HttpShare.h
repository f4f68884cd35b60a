// Decides, beside a swarm, whether the HTTP sources leave the pieces that
// connected peers have to those peers. The origin is the scarce part of a
// swarm, so they do, as long as the peers deliver at least as fast as HTTP
// did while it was busy: the download is then no slower than over HTTP
// alone. Peers that fall well below that for a while give those pieces back
// to HTTP. Before HTTP has been measured nothing is left to the peers.
//
// The caller supplies the clock and the figures, so this is tested with
// fakes; rates are the engine's two-second figures, in bytes per second.
#pragma once

#include <cstdint>

class HttpShare {
public:
    static constexpr uint64_t kSettleMs = 2000;  // one full speed window

    struct Sample {
        uint64_t nowMs = 0;
        bool peersConnected = false;  // a running swarm with at least one peer
        uint32_t httpRate = 0;
        uint32_t peerRate = 0;
        bool httpWaited = false;  // some HTTP connection found nothing to fetch since the last sample
    };

    // True while HTTP should leave the peers' pieces to them.
    bool Update(const Sample& s);

    bool Deferring() const { return defer_; }
    uint32_t HttpEstimate() const { return httpEstimate_; }

private:
    bool started_ = false;
    uint64_t busySince_ = 0;   // HTTP has had work for every connection since then
    uint64_t slowSince_ = 0;   // the peers have been slow since then (0: they are not)
    uint32_t httpEstimate_ = 0;
    bool defer_ = false;
};
