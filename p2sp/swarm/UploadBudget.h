// One upload cap for the whole engine: every swarm takes the bytes it sends
// to peers from this one bucket, so games seeding side by side give no more
// than the cap in all. Thread-safe (each swarm has its own thread); the
// caller supplies the clock, so it is tested with a fake one.
#pragma once

#include <cstdint>
#include <mutex>

class UploadBudget {
public:
    static constexpr uint32_t kDefaultCap = 1u << 20;  // bytes per second

    explicit UploadBudget(uint32_t cap = kDefaultCap) : cap_(cap) {}

    // Bytes per second over every swarm; 0 gives nothing at all.
    void SetCap(uint32_t cap);
    uint32_t Cap() const;
    // Takes `bytes` when the bucket holds them at `nowMs`; false, taking
    // nothing, when it does not. At most a second's worth is banked, and
    // there is always room for one block.
    bool Take(uint32_t bytes, uint64_t nowMs);
    // Returns what was taken for a block that could not be sent after all.
    void Give(uint32_t bytes);

private:
    void Refill(uint64_t nowMs);

    mutable std::mutex lock_;
    uint32_t cap_;
    int64_t tokens_ = 0;
    uint64_t lastRefillMs_ = 0;
    bool started_ = false;
};
