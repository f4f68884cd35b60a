// One bit per piece, in the wire order of a bitfield message: piece 0 is
// the high bit of the first byte; spare bits at the end are zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class Bitfield {
public:
    Bitfield() = default;
    explicit Bitfield(size_t count) : count_(count), bytes_((count + 7) / 8, 0) {}

    size_t Size() const { return count_; }
    size_t Count() const { return set_; }
    bool All() const { return set_ == count_; }
    bool None() const { return set_ == 0; }

    bool Get(size_t index) const { return index < count_ && (bytes_[index / 8] & Mask(index)) != 0; }
    void Set(size_t index) {
        if (index >= count_ || Get(index)) return;
        bytes_[index / 8] |= Mask(index);
        ++set_;
    }
    void Clear(size_t index) {
        if (!Get(index)) return;
        bytes_[index / 8] &= uint8_t(~Mask(index));
        --set_;
    }
    void SetAll() {
        for (size_t i = 0; i < count_; ++i) Set(i);
    }

    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    static size_t WireBytes(size_t count) { return (count + 7) / 8; }

    // Reads a bitfield message's payload for `count` pieces: false when its
    // length is wrong or a spare bit is set.
    bool FromWire(const uint8_t* data, size_t size, size_t count) {
        if (size != WireBytes(count)) return false;
        size_t spare = size * 8 - count;
        if (spare > 0 && (data[size - 1] & uint8_t((1u << spare) - 1)) != 0) return false;
        count_ = count;
        bytes_.assign(data, data + size);
        set_ = 0;
        for (size_t i = 0; i < count; ++i) set_ += Get(i) ? 1 : 0;
        return true;
    }

private:
    static uint8_t Mask(size_t index) { return uint8_t(0x80u >> (index % 8)); }
    size_t count_ = 0;
    size_t set_ = 0;
    std::vector<uint8_t> bytes_;
};
