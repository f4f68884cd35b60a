// Current transfer rate over a short sliding window. The caller supplies the
// clock (milliseconds), so the window logic is tested with a fake one.
#pragma once

#include <cstdint>

class SpeedMeter {
public:
    static constexpr uint64_t kBucketMs = 250;
    static constexpr int kBuckets = 8;  // a 2 s window

    void Add(uint64_t bytes, uint64_t nowMs) {
        uint64_t slot = nowMs / kBucketMs;
        Bucket& b = buckets_[slot % kBuckets];
        if (b.slot != slot) {
            b.slot = slot;
            b.bytes = 0;
        }
        b.bytes += bytes;
    }

    // Bytes per second over the buckets of the last two seconds; 0 when
    // nothing arrived in that time.
    uint32_t Rate(uint64_t nowMs) const {
        uint64_t current = nowMs / kBucketMs;
        uint64_t sum = 0;
        for (const Bucket& b : buckets_)
            if (b.slot != kNoSlot && b.slot <= current && current - b.slot < uint64_t(kBuckets))
                sum += b.bytes;
        uint64_t rate = sum * 1000 / (kBucketMs * kBuckets);
        return rate > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(rate);
    }

    void Reset() {
        for (Bucket& b : buckets_) b = Bucket();
    }

private:
    static constexpr uint64_t kNoSlot = ~uint64_t(0);
    struct Bucket {
        uint64_t slot = kNoSlot;
        uint64_t bytes = 0;
    };
    Bucket buckets_[kBuckets];
};
