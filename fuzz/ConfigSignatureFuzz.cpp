// Any bytes as a configuration's signature (from the network) and as a
// build's trust text: the DER reader stays inside the bytes, and every
// signature it accepts encodes back to exactly those bytes (the one DER
// form of its r and s); the trust parser keeps to its key format.
#include "config/ConfigSignature.h"
#include "config/PortalTrust.h"
#include "fuzz/FuzzCheck.h"

#include <cstring>
#include <string>

namespace {

std::string Integer(const uint8_t* value) {
    std::string v(reinterpret_cast<const char*>(value), 32);
    while (v.size() > 1 && v[0] == 0 && !(uint8_t(v[1]) & 0x80)) v.erase(0, 1);
    if (uint8_t(v[0]) & 0x80) v.insert(0, 1, '\0');
    return std::string("\x02", 1) + char(v.size()) + v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t rs[64];
    if (EcdsaSignatureFromDer(data, size, rs)) {
        const std::string body = Integer(rs) + Integer(rs + 32);
        const std::string der = std::string("\x30", 1) + char(body.size()) + body;
        FUZZ_CHECK(der.size() == size && std::memcmp(der.data(), data, size) == 0,
                   "an accepted signature is not the one DER form of its values");
        FUZZ_CHECK(std::memcmp(rs, std::string(32, '\0').data(), 32) != 0, "r of zero accepted");
    }
    PortalTrust trust;
    if (ParsePortalTrust(std::string(reinterpret_cast<const char*>(data), size), &trust))
        FUZZ_CHECK(trust.keys.size() <= size / 134 + 1, "more keys than key lines");
    return 0;
}
