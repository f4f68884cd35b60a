#include "p2sp/swarm/UploadBudget.h"

#include "p2sp/swarm/PeerWire.h"

#include <algorithm>

void UploadBudget::SetCap(uint32_t cap) {
    std::lock_guard<std::mutex> hold(lock_);
    cap_ = cap;
    tokens_ = std::min<int64_t>(tokens_, std::max<int64_t>(cap_, kBlockBytes));
}

uint32_t UploadBudget::Cap() const {
    std::lock_guard<std::mutex> hold(lock_);
    return cap_;
}

void UploadBudget::Refill(uint64_t nowMs) {
    if (!started_) {
        started_ = true;
        lastRefillMs_ = nowMs;
        tokens_ = std::max<int64_t>(cap_, kBlockBytes);  // a full second to start with
        return;
    }
    if (nowMs <= lastRefillMs_) return;
    const uint64_t elapsed = std::min<uint64_t>(nowMs - lastRefillMs_, 1000);
    const uint64_t add = uint64_t(cap_) * elapsed / 1000;
    if (add == 0 && elapsed < 1000) return;  // a small cap: let the time add up
    lastRefillMs_ = nowMs;
    tokens_ += int64_t(add);
    tokens_ = std::min<int64_t>(tokens_, std::max<int64_t>(cap_, kBlockBytes));
}

bool UploadBudget::Take(uint32_t bytes, uint64_t nowMs) {
    std::lock_guard<std::mutex> hold(lock_);
    if (cap_ == 0) return false;
    Refill(nowMs);
    if (tokens_ < int64_t(bytes)) return false;
    tokens_ -= int64_t(bytes);
    return true;
}

void UploadBudget::Give(uint32_t bytes) {
    std::lock_guard<std::mutex> hold(lock_);
    tokens_ = std::min<int64_t>(tokens_ + int64_t(bytes), std::max<int64_t>(cap_, kBlockBytes));
}
