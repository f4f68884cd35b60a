#include "config/ConfigSignature.h"

#include <cstring>

namespace {

// One INTEGER at `*pos`: its value (a positive number of at most 32 bytes)
// right-aligned into out[32].
bool ReadInteger(const uint8_t* der, size_t size, size_t* pos, uint8_t out[32]) {
    if (*pos + 2 > size || der[*pos] != 0x02) return false;
    const size_t length = der[*pos + 1];
    size_t at = *pos + 2;
    if (length == 0 || length > 33 || at + length > size) return false;
    const uint8_t* value = der + at;
    size_t n = length;
    if (value[0] & 0x80) return false;  // negative
    if (value[0] == 0) {
        // A leading zero only to keep a high bit positive.
        if (n == 1 || !(value[1] & 0x80)) return false;
        ++value;
        --n;
    }
    if (n > 32) return false;
    std::memset(out, 0, 32);
    std::memcpy(out + 32 - n, value, n);
    *pos = at + length;
    return true;
}

}  // namespace

bool EcdsaSignatureFromDer(const uint8_t* der, size_t size, uint8_t rs[64]) {
    // SEQUENCE, short form: two INTEGERs of at most 35 bytes each fit in 127.
    if (size < 8 || der[0] != 0x30 || der[1] >= 0x80 || size_t(der[1]) + 2 != size) return false;
    size_t pos = 2;
    uint8_t r[32], s[32];
    if (!ReadInteger(der, size, &pos, r) || !ReadInteger(der, size, &pos, s) || pos != size) return false;
    std::memcpy(rs, r, 32);
    std::memcpy(rs + 32, s, 32);
    return true;
}
