// The digest as text, apart from the digest itself: the verification library
// links MD5 without the standard string.
#include "codec/Md5.h"

std::string Md5Hex(const uint8_t digest[CMd5::kDigestBytes]) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(CMd5::kDigestBytes * 2);
    for (size_t i = 0; i < CMd5::kDigestBytes; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 0x0f];
    }
    return hex;
}
