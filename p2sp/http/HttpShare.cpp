#include "p2sp/http/HttpShare.h"

#include <algorithm>

namespace {

constexpr uint64_t kBehindMs = 500;  // below the yardstick this long: HTTP takes everything back

uint64_t Since(uint64_t now, uint64_t then) { return now > then ? now - then : 0; }

}  // namespace

HttpShare::HttpShare(int full, int least)
    : full_(std::max(1, full)), least_(std::min(std::max(1, least), std::max(1, full))), perSource_(full_) {}

void HttpShare::Widen(uint64_t nowMs) {
    if (perSource_ != full_) {
        perSource_ = full_;
        changedAt_ = nowMs;
    }
    behindSince_ = 0;
}

void HttpShare::Update(const Sample& s) {
    if (!started_) {
        started_ = true;
        changedAt_ = s.nowMs;
        busySince_ = s.nowMs;
    }
    if (s.httpWaited) busySince_ = s.nowMs;
    // The yardstick: every connection of an HTTP-only task, each busy for a
    // whole window (idle ones, or a window that began with fewer, would make
    // HTTP look slower than it is).
    const bool settled = Since(s.nowMs, std::max(busySince_, changedAt_)) >= kSettleMs;
    if (perSource_ == full_ && settled && s.httpRate > 0) aloneRate_ = s.httpRate;

    if (!s.peersConnected || aloneRate_ == 0) {
        Widen(s.nowMs);
        defer_ = false;
        return;
    }
    const uint64_t total = uint64_t(s.httpRate) + s.peerRate;
    const uint64_t enough = uint64_t(aloneRate_) * kNarrowPercent / 100;
    if (total * 100 < uint64_t(aloneRate_) * kBehindPercent) {
        if (behindSince_ == 0) behindSince_ = s.nowMs ? s.nowMs : 1;
    } else {
        behindSince_ = 0;
    }
    if (behindSince_ != 0 && Since(s.nowMs, behindSince_) >= kBehindMs) {
        Widen(s.nowMs);
        defer_ = false;  // nothing is left to peers that are behind
    } else if (total >= enough && s.peerRate > 0 && perSource_ > least_ &&
               Since(s.nowMs, changedAt_) >= kSettleMs) {
        // As many connections as it takes, at the rate each brings now, to
        // make up what the peers do not; at most half of them go at a time.
        const uint64_t perConnection = std::max<uint64_t>(1, s.httpRate / uint64_t(perSource_));
        const uint64_t missing = enough > s.peerRate ? enough - s.peerRate : 0;
        const uint64_t wanted = (missing + perConnection - 1) / perConnection;
        const int target = int(std::min<uint64_t>(std::max<uint64_t>(wanted, uint64_t(least_)), uint64_t(full_)));
        const int next = std::max(target, (perSource_ + 1) / 2);
        if (next < perSource_) {
            perSource_ = next;
            changedAt_ = s.nowMs;
        }
    }
    UpdateDefer(s);
}

void HttpShare::UpdateDefer(const Sample& s) {
    // Until they fall behind (above), the peers keep their pieces.
    if (!defer_) defer_ = s.peerRate >= aloneRate_;
}
