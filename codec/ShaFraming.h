// The message framing SHA-1 and SHA-256 share: the message is cut into
// 64-byte blocks, and the last one carries a 0x80 byte, zeros and the
// message's length in bits, big-endian. The hash itself only compresses
// whole blocks, handed to it in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

class CShaFraming {
public:
    static const size_t kBlockBytes = 64;

    void Reset() { bytes_ = 0; }

    // compress(p, n) takes n whole blocks at p.
    template <class Compress>
    void Update(const void* data, size_t size, Compress&& compress) {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        const size_t used = static_cast<size_t>(bytes_ % kBlockBytes);
        bytes_ += size;
        if (used) {
            const size_t take = size < kBlockBytes - used ? size : kBlockBytes - used;
            std::memcpy(buffer_ + used, p, take);
            p += take;
            size -= take;
            if (used + take < kBlockBytes) return;
            compress(buffer_, size_t(1));
        }
        if (size >= kBlockBytes) {
            const size_t blocks = size / kBlockBytes;
            compress(p, blocks);
            p += blocks * kBlockBytes;
            size -= blocks * kBlockBytes;
        }
        if (size) std::memcpy(buffer_, p, size);
    }

    // Appends the padding and the length; the framing is then reset.
    template <class Compress>
    void Finish(Compress&& compress) {
        const uint64_t bits = bytes_ * 8;
        const uint8_t pad = 0x80;
        const uint8_t zero[kBlockBytes] = {};
        Update(&pad, 1, compress);
        const size_t used = static_cast<size_t>(bytes_ % kBlockBytes);
        Update(zero, used <= 56 ? 56 - used : 120 - used, compress);
        uint8_t length[8];
        for (int i = 0; i < 8; ++i) length[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
        Update(length, 8, compress);
        Reset();
    }

private:
    uint64_t bytes_ = 0;
    uint8_t buffer_[kBlockBytes];
};

// Writes words as big-endian bytes: the digest of a SHA state.
inline void StoreBigEndianWords(const uint32_t* words, size_t count, uint8_t* out) {
    for (size_t i = 0; i < count; ++i)
        for (size_t k = 0; k < 4; ++k) out[4 * i + k] = static_cast<uint8_t>(words[i] >> (24 - 8 * k));
}
