// uTP packets (the micro transport protocol over UDP, BEP 29): the 20-byte
// header and the selective-ack extension. Every packet is read as hostile:
// short packets, other versions, unknown types and broken extension chains
// are refused. No platform code.
#pragma once

#include <cstddef>
#include <cstdint>

enum class UtpType : uint8_t { kData = 0, kFin = 1, kState = 2, kReset = 3, kSyn = 4 };

constexpr size_t kUtpHeaderBytes = 20;
constexpr size_t kUtpMaxSackBytes = 32;  // acks for up to 256 packets past ack_nr + 1
constexpr size_t kUtpMaxHeaderBytes = kUtpHeaderBytes + 2 + kUtpMaxSackBytes;

struct UtpHeader {
    UtpType type = UtpType::kData;
    uint16_t connectionId = 0;
    uint32_t timestampUs = 0;      // the sender's clock when it sent the packet
    uint32_t timestampDiffUs = 0;  // the sender's clock minus the timestamp of the last packet it got from us
    uint32_t windowSize = 0;       // bytes the sender can still take in
    uint16_t seqNr = 0;
    uint16_t ackNr = 0;
    uint8_t sackBytes = 0;  // 0: no selective ack; else a multiple of 4, at most kUtpMaxSackBytes
    uint8_t sack[kUtpMaxSackBytes] = {};
};

// False when `data` is not a uTP version 1 packet. `*payloadOffset` is where
// the payload starts (after every extension).
bool ParseUtpPacket(const uint8_t* data, size_t size, UtpHeader* header, size_t* payloadOffset);
// Writes the header and, when sackBytes > 0, the selective-ack extension into
// `out` (at least kUtpMaxHeaderBytes long); returns the bytes written.
size_t WriteUtpHeader(const UtpHeader& header, uint8_t* out);
