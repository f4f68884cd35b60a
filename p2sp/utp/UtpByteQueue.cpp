#include "p2sp/utp/UtpByteQueue.h"

#include <algorithm>
#include <cstring>

void UtpByteQueue::Append(const uint8_t* data, size_t size) {
    size_ += size;
    while (size > 0) {
        if (chunks_.empty() || chunks_.back().size() == kChunkBytes) {
            chunks_.emplace_back();
            chunks_.back().reserve(kChunkBytes);
        }
        std::vector<uint8_t>& last = chunks_.back();
        const size_t n = std::min(size, kChunkBytes - last.size());
        last.insert(last.end(), data, data + n);
        data += n;
        size -= n;
    }
}

size_t UtpByteQueue::Take(uint8_t* out, size_t size) {
    size_t taken = 0;
    while (taken < size && !chunks_.empty()) {
        const std::vector<uint8_t>& front = chunks_.front();
        const size_t n = std::min(size - taken, front.size() - frontOffset_);
        std::memcpy(out + taken, front.data() + frontOffset_, n);
        taken += n;
        frontOffset_ += n;
        if (frontOffset_ == front.size()) {
            chunks_.pop_front();
            frontOffset_ = 0;
        }
    }
    size_ -= taken;
    return taken;
}
