// SHA-1 (FIPS 180-4). Platform-free. Kept for BitTorrent piece hashes, which
// are SHA-1 by definition; nothing of ours relies on it for trust alone.
#pragma once

#include "codec/ShaFraming.h"

#include <cstddef>
#include <cstdint>

class CSha1 {
public:
    static const size_t kDigestBytes = 20;

    CSha1() { Reset(); }
    void Reset();
    void Update(const void* data, size_t size);
    // Pads, writes the digest and resets for the next message.
    void Final(uint8_t digest[kDigestBytes]);

private:
    void Transform(const uint8_t block[64]);
    // Compresses n whole blocks, with the processor's SHA instructions
    // where it has them.
    void Blocks(const uint8_t* p, size_t n);

    uint32_t state_[5];
    CShaFraming framing_;
};
