// A byte queue kept in chunks of a fixed size: bytes appended in small
// pieces share a chunk, so its memory stays near its size however the bytes
// came. The send side keeps written bytes here, the receive side what
// arrived in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

class UtpByteQueue {
public:
    void Append(const uint8_t* data, size_t size);
    // Moves up to `size` bytes from the front into `out`; returns how many.
    size_t Take(uint8_t* out, size_t size);
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

private:
    static constexpr size_t kChunkBytes = 16384;
    std::deque<std::vector<uint8_t>> chunks_;
    size_t frontOffset_ = 0;  // bytes of the front chunk already taken
    size_t size_ = 0;
};
