#include "codec/Sha1.h"

#include "codec/Sha1Ni.h"

namespace {

uint32_t RotateLeft(uint32_t x, uint32_t n) { return (x << n) | (x >> (32 - n)); }

uint32_t LoadBigEndian(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

}  // namespace

void CSha1::Reset() {
    state_[0] = 0x67452301;
    state_[1] = 0xefcdab89;
    state_[2] = 0x98badcfe;
    state_[3] = 0x10325476;
    state_[4] = 0xc3d2e1f0;
    framing_.Reset();
}

void CSha1::Transform(const uint8_t block[64]) {
    uint32_t w[80];
    for (int i = 0; i < 16; ++i) w[i] = LoadBigEndian(block + 4 * i);
    for (int i = 16; i < 80; ++i) w[i] = RotateLeft(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
    // Four stretches of twenty rounds, each with its own function and
    // constant: no branch inside a round.
    const auto round = [&](uint32_t f, uint32_t k, uint32_t word) {
        const uint32_t t = RotateLeft(a, 5) + f + e + k + word;
        e = d;
        d = c;
        c = RotateLeft(b, 30);
        b = a;
        a = t;
    };
    for (int i = 0; i < 20; ++i) round((b & c) | (~b & d), 0x5a827999, w[i]);
    for (int i = 20; i < 40; ++i) round(b ^ c ^ d, 0x6ed9eba1, w[i]);
    for (int i = 40; i < 60; ++i) round((b & c) | (b & d) | (c & d), 0x8f1bbcdc, w[i]);
    for (int i = 60; i < 80; ++i) round(b ^ c ^ d, 0xca62c1d6, w[i]);
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
}

void CSha1::Blocks(const uint8_t* p, size_t n) {
    if (Sha1NiAvailable()) {
        Sha1NiBlocks(state_, p, n);
        return;
    }
    for (; n > 0; --n, p += 64) Transform(p);
}

void CSha1::Update(const void* data, size_t size) {
    framing_.Update(data, size, [this](const uint8_t* p, size_t n) { Blocks(p, n); });
}

void CSha1::Final(uint8_t digest[kDigestBytes]) {
    framing_.Finish([this](const uint8_t* p, size_t n) { Blocks(p, n); });
    StoreBigEndianWords(state_, 5, digest);
    Reset();
}
