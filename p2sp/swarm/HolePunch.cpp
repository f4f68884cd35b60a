#include "p2sp/swarm/HolePunch.h"

#include <cstring>

std::vector<uint8_t> HolePunchPayload(const HolePunchMessage& m) {
    std::vector<uint8_t> out;
    const bool v4 = m.endpoint.ip.IsV4();
    out.push_back(uint8_t(m.type));
    out.push_back(v4 ? 0 : 1);
    const uint8_t* address = v4 ? m.endpoint.ip.bytes + 12 : m.endpoint.ip.bytes;
    out.insert(out.end(), address, address + (v4 ? 4 : 16));
    out.push_back(uint8_t(m.endpoint.port >> 8));
    out.push_back(uint8_t(m.endpoint.port));
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(m.error >> shift));
    return out;
}

bool ParseHolePunch(const uint8_t* data, size_t size, HolePunchMessage* out) {
    if (size < 2 || data[0] > uint8_t(HolePunchType::kError) || data[1] > 1) return false;
    const size_t width = data[1] == 0 ? 4 : 16;
    if (size != 2 + width + 2 + 4) return false;
    HolePunchMessage m;
    m.type = HolePunchType(data[0]);
    const uint8_t* at = data + 2;
    if (width == 4)
        m.endpoint.ip = IpAddress::V4(uint32_t(at[0]) << 24 | uint32_t(at[1]) << 16 | uint32_t(at[2]) << 8 | at[3]);
    else
        m.endpoint.ip = IpAddress::V6(at);
    at += width;
    m.endpoint.port = uint16_t(at[0] << 8 | at[1]);
    at += 2;
    m.error = uint32_t(at[0]) << 24 | uint32_t(at[1]) << 16 | uint32_t(at[2]) << 8 | at[3];
    *out = m;
    return true;
}

bool TakePunch(std::deque<uint64_t>* recentMs, uint64_t nowMs) {
    while (!recentMs->empty() && nowMs - recentMs->front() >= 60000) recentMs->pop_front();
    if (recentMs->size() >= kMaxPunchesPerMinute) return false;
    recentMs->push_back(nowMs);
    return true;
}
