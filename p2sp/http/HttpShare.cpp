#include "p2sp/http/HttpShare.h"

bool HttpShare::Update(const Sample& s) {
    if (!started_ || s.httpWaited) {
        started_ = true;
        busySince_ = s.nowMs;
    }
    // The HTTP rate counts only once every connection has had work for a
    // whole window: idle connections would make it look slow.
    if (s.nowMs - busySince_ >= kSettleMs && s.httpRate > 0) httpEstimate_ = s.httpRate;
    if (!s.peersConnected || httpEstimate_ == 0) {
        defer_ = false;
        slowSince_ = 0;
        return defer_;
    }
    if (!defer_) {
        defer_ = s.peerRate >= httpEstimate_;
        slowSince_ = 0;
        return defer_;
    }
    // Deferring: give up only when the peers stay well below HTTP for a
    // window, so a moment of choking does not send every piece to HTTP.
    if (uint64_t(s.peerRate) * 4 < uint64_t(httpEstimate_) * 3) {
        if (slowSince_ == 0) slowSince_ = s.nowMs ? s.nowMs : 1;
        if (s.nowMs - slowSince_ >= kSettleMs) {
            defer_ = false;
            slowSince_ = 0;
        }
    } else {
        slowSince_ = 0;
    }
    return defer_;
}
