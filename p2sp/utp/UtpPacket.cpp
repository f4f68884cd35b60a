#include "p2sp/utp/UtpPacket.h"

#include <cstring>

namespace {

constexpr uint8_t kVersion = 1;
constexpr uint8_t kExtensionNone = 0;
constexpr uint8_t kExtensionSack = 1;

uint16_t Get16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
uint32_t Get32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }
void Put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (24 - 8 * i));
}

// The selective ack of a packet: a multiple of 4 bytes, at least 4. A longer
// one than we keep is cut to kUtpMaxSackBytes: its further bits only tell of
// packets we never have in flight at once, so nothing is lost by not reading them.
bool TakeSack(const uint8_t* body, size_t length, UtpHeader* header) {
    if (length < 4 || length % 4 != 0) return false;
    if (header->sackBytes != 0) return true;  // a second one adds nothing: the first counts
    const size_t kept = length < kUtpMaxSackBytes ? length : kUtpMaxSackBytes;
    std::memcpy(header->sack, body, kept);
    header->sackBytes = uint8_t(kept);
    return true;
}

}  // namespace

bool ParseUtpPacket(const uint8_t* data, size_t size, UtpHeader* header, size_t* payloadOffset) {
    if (data == nullptr || size < kUtpHeaderBytes) return false;
    const uint8_t type = data[0] >> 4;
    if ((data[0] & 0x0F) != kVersion || type > uint8_t(UtpType::kSyn)) return false;
    UtpHeader h;
    h.type = UtpType(type);
    h.connectionId = Get16(data + 2);
    h.timestampUs = Get32(data + 4);
    h.timestampDiffUs = Get32(data + 8);
    h.windowSize = Get32(data + 12);
    h.seqNr = Get16(data + 16);
    h.ackNr = Get16(data + 18);
    // The chain: each extension names the type of the next one (0 ends it)
    // and its own length. Every step moves at least 2 bytes forward, so the
    // walk ends within the packet.
    uint8_t next = data[1];
    size_t at = kUtpHeaderBytes;
    while (next != kExtensionNone) {
        if (size - at < 2) return false;
        const uint8_t kind = next;
        next = data[at];
        const size_t length = data[at + 1];
        at += 2;
        if (size - at < length) return false;
        if (kind == kExtensionSack && !TakeSack(data + at, length, &h)) return false;
        at += length;  // other kinds are skipped by their length
    }
    *header = h;
    *payloadOffset = at;
    return true;
}

size_t WriteUtpHeader(const UtpHeader& header, uint8_t* out) {
    size_t sackBytes = header.sackBytes < kUtpMaxSackBytes ? header.sackBytes : kUtpMaxSackBytes;
    sackBytes -= sackBytes % 4;
    out[0] = uint8_t((uint8_t(header.type) << 4) | kVersion);
    out[1] = sackBytes != 0 ? kExtensionSack : kExtensionNone;
    Put16(out + 2, header.connectionId);
    Put32(out + 4, header.timestampUs);
    Put32(out + 8, header.timestampDiffUs);
    Put32(out + 12, header.windowSize);
    Put16(out + 16, header.seqNr);
    Put16(out + 18, header.ackNr);
    if (sackBytes == 0) return kUtpHeaderBytes;
    out[20] = kExtensionNone;
    out[21] = uint8_t(sackBytes);
    std::memcpy(out + 22, header.sack, sackBytes);
    return kUtpHeaderBytes + 2 + sackBytes;
}
