// Picks the size of the next body read. A synchronous InternetReadFile waits
// until the whole buffer is filled, so the size decides how long a read
// holds off progress figures and stop requests. Large reads are much faster
// on a fast link (1 MiB blocks), small ones keep a slow link responsive:
// double while a full read takes no time, halve while one takes too long.
// (Asking InternetQueryDataAvailable first costs most of the speed.)
#pragma once

#include <cstdint>

class ReadSizer {
public:
    static constexpr uint32_t kMinBytes = 16u << 10;
    static constexpr uint32_t kStartBytes = 64u << 10;
    static constexpr uint32_t kMaxBytes = 1u << 20;
    static constexpr uint64_t kFastMs = 20;   // a full read this quick: grow
    static constexpr uint64_t kSlowMs = 200;  // a read this slow: shrink

    uint32_t Size() const { return size_; }

    void Observe(uint32_t asked, uint32_t got, uint64_t elapsedMs) {
        if (elapsedMs >= kSlowMs) {
            if (size_ > kMinBytes) size_ /= 2;
        } else if (got == asked && asked == size_ && elapsedMs <= kFastMs && size_ < kMaxBytes) {
            size_ *= 2;
        }
    }

private:
    uint32_t size_ = kStartBytes;
};
