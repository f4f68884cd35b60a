#include "p2sp/portmap/MapPackets.h"

#include <cstring>

namespace {

constexpr uint8_t kNatPmpVersion = 0;
constexpr uint8_t kPcpVersion = 2;
constexpr uint8_t kPcpMap = 1;
constexpr uint8_t kTcp = 6;
constexpr uint8_t kUdp = 17;
constexpr uint8_t kNatPmpUdp = 1;
constexpr uint8_t kNatPmpTcp = 2;
constexpr uint8_t kAnswerBit = 0x80;
constexpr size_t kPcpHeader = 24;
constexpr size_t kPcpMapPayload = 36;

void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, uint16_t(v >> 16));
    Put16(out, uint16_t(v));
}
uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
uint32_t Get32(const uint8_t* p) { return uint32_t(Get16(p)) << 16 | Get16(p + 2); }

// An IPv4 address as PCP carries it: the IPv4-mapped IPv6 form.
void PutMappedIpv4(std::vector<uint8_t>& out, uint32_t ipv4) {
    out.insert(out.end(), 10, 0);
    out.push_back(0xFF);
    out.push_back(0xFF);
    Put32(out, ipv4);
}
bool GetMappedIpv4(const uint8_t* p, uint32_t* ipv4) {
    static const uint8_t prefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::memcmp(p, prefix, 12) != 0) return false;
    *ipv4 = Get32(p + 12);
    return true;
}

}  // namespace

std::vector<uint8_t> NatPmpAddressRequest() { return {kNatPmpVersion, 0}; }

bool ParseNatPmpAddressAnswer(const uint8_t* data, size_t size, MapAnswer* answer) {
    if (size < 8 || data[0] != kNatPmpVersion || data[1] != kAnswerBit) return false;
    *answer = MapAnswer{};
    answer->result = Get16(data + 2);
    if (answer->result != 0) return true;
    if (size < 12) return false;
    answer->externalIpv4 = Get32(data + 8);
    return true;
}

std::vector<uint8_t> NatPmpMapRequest(uint16_t internalPort, uint16_t wantedExternalPort, uint32_t lifetime,
                                      bool udp) {
    std::vector<uint8_t> out{kNatPmpVersion, udp ? kNatPmpUdp : kNatPmpTcp, 0, 0};
    Put16(out, internalPort);
    Put16(out, lifetime ? wantedExternalPort : 0);
    Put32(out, lifetime);
    return out;
}

bool ParseNatPmpMapAnswer(const uint8_t* data, size_t size, uint16_t internalPort, MapAnswer* answer, bool udp) {
    if (size < 8 || data[0] != kNatPmpVersion || data[1] != (kAnswerBit | (udp ? kNatPmpUdp : kNatPmpTcp)))
        return false;
    *answer = MapAnswer{};
    answer->result = Get16(data + 2);
    if (answer->result != 0) return true;
    if (size < 16 || Get16(data + 8) != internalPort) return false;
    answer->externalPort = Get16(data + 10);
    answer->lifetime = Get32(data + 12);
    return true;
}

std::vector<uint8_t> PcpMapRequest(const uint8_t nonce[12], uint32_t clientIpv4, uint16_t internalPort,
                                   uint16_t wantedExternalPort, uint32_t lifetime, bool udp) {
    std::vector<uint8_t> out{kPcpVersion, kPcpMap, 0, 0};
    Put32(out, lifetime);
    PutMappedIpv4(out, clientIpv4);
    out.insert(out.end(), nonce, nonce + 12);
    out.push_back(udp ? kUdp : kTcp);
    out.insert(out.end(), 3, 0);
    Put16(out, internalPort);
    Put16(out, lifetime ? wantedExternalPort : 0);
    // No suggested external address: the IPv4-mapped unspecified one.
    PutMappedIpv4(out, 0);
    return out;
}

bool ParsePcpMapAnswer(const uint8_t* data, size_t size, const uint8_t nonce[12], uint16_t internalPort,
                       MapAnswer* answer, bool udp) {
    if (size < kPcpHeader || size > kMapAnswerMax || size % 4 != 0) return false;
    if (data[0] != kPcpVersion || data[1] != (kAnswerBit | kPcpMap)) return false;
    *answer = MapAnswer{};
    answer->result = data[3];
    answer->lifetime = Get32(data + 4);
    if (answer->result != 0) return true;
    if (size < kPcpHeader + kPcpMapPayload) return false;
    const uint8_t* map = data + kPcpHeader;
    if (std::memcmp(map, nonce, 12) != 0 || map[12] != (udp ? kUdp : kTcp) || Get16(map + 16) != internalPort) return false;
    answer->externalPort = Get16(map + 18);
    uint32_t external = 0;
    if (GetMappedIpv4(map + 20, &external)) answer->externalIpv4 = external;
    return true;
}

bool IsUnsupportedVersionAnswer(const uint8_t* data, size_t size) {
    if (size < 4 || (data[1] & kAnswerBit) == 0) return false;
    if (data[0] == kNatPmpVersion) return Get16(data + 2) == 1;
    if (data[0] == kPcpVersion) return data[3] == 1;
    return false;
}
