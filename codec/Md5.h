// MD5 message digest (RFC 1321). Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CMd5 {
public:
    static const size_t kDigestBytes = 16;

    CMd5() { Reset(); }
    void Reset();
    void Update(const void* data, size_t size);
    // Pads, writes the digest and resets for the next message.
    void Final(uint8_t digest[kDigestBytes]);

private:
    void Transform(const uint8_t block[64]);

    uint32_t state_[4];
    uint64_t bytes_ = 0;
    uint8_t buffer_[64];
};

// 32 lower-case hexadecimal digits, two per byte in order.
std::string Md5Hex(const uint8_t digest[CMd5::kDigestBytes]);
