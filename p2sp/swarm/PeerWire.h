// The peer wire protocol's bytes: the 68-byte handshake, and messages framed
// by a 4-byte big-endian length. The parser refuses what a sound peer never
// sends (a wrong length for its kind, a piece index out of range, a block
// longer than 16 KiB, a message longer than a block plus its header); the
// caller then closes that peer. No platform code.
#pragma once

#include "p2sp/swarm/Bitfield.h"

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr uint32_t kBlockBytes = 16u << 10;
constexpr size_t kHandshakeBytes = 68;
// The longest message accepted: a piece message of one block, or the
// torrent's bitfield when that is longer.
constexpr uint32_t kMaxMessageBytes = 9 + kBlockBytes;

struct Handshake {
    uint8_t reserved[8] = {};
    uint8_t infoHash[20] = {};
    uint8_t peerId[20] = {};
    // Reserved bit of the Fast extension: byte 7, 0x04.
    bool Fast() const { return (reserved[7] & 0x04) != 0; }
    // Reserved bit of the extension protocol: byte 5, 0x10.
    bool Extensions() const { return (reserved[5] & 0x10) != 0; }
};

void EncodeHandshake(const Handshake& h, uint8_t out[kHandshakeBytes]);
// False unless the bytes start with the protocol's name.
bool DecodeHandshake(const uint8_t in[kHandshakeBytes], Handshake* out);

enum class PeerMessageType : uint8_t {
    kChoke = 0,
    kUnchoke = 1,
    kInterested = 2,
    kNotInterested = 3,
    kHave = 4,
    kBitfield = 5,
    kRequest = 6,
    kPiece = 7,
    kCancel = 8,
    kPort = 9,
    kSuggest = 13,  // Fast extension
    kHaveAll = 14,
    kHaveNone = 15,
    kReject = 16,
    kAllowedFast = 17,
    kExtended = 20,  // the extension protocol: `index` is the extended id, the rest the payload
    kKeepAlive = 0xfe,  // a zero-length message, not a wire id
    kIgnored = 0xff,    // an extension we did not offer but that is harmless
};

struct PeerMessage {
    PeerMessageType type = PeerMessageType::kKeepAlive;
    uint32_t index = 0;   // have, request, piece, cancel, suggest, reject, allowed fast
    uint32_t begin = 0;   // request, piece, cancel, reject
    uint32_t length = 0;  // request, cancel, reject; the block's length for piece
    const uint8_t* payload = nullptr;  // bitfield bytes or piece block, inside the parsed buffer
    size_t payloadSize = 0;
};

struct WireLimits {
    size_t pieceCount = 0;
    bool fast = false;  // both sides offered the Fast extension
    bool extensions = false;  // we offered the extension protocol
};

enum class WireResult { kNeedMore, kMessage, kMalformed };

// Parses the message at the start of `data`. On kMessage, `*used` is its
// length with the length prefix.
WireResult ParsePeerMessage(const uint8_t* data, size_t size, const WireLimits& limits, PeerMessage* out,
                            size_t* used);

// Encoders append one whole message to `out`.
void AppendKeepAlive(std::vector<uint8_t>* out);
void AppendSimple(PeerMessageType type, std::vector<uint8_t>* out);  // choke .. not interested, have all/none
void AppendHave(uint32_t index, std::vector<uint8_t>* out);
void AppendBitfield(const Bitfield& have, std::vector<uint8_t>* out);
// request, cancel and reject share one form.
void AppendBlockMessage(PeerMessageType type, uint32_t index, uint32_t begin, uint32_t length,
                        std::vector<uint8_t>* out);
void AppendPiece(uint32_t index, uint32_t begin, const uint8_t* block, uint32_t length, std::vector<uint8_t>* out);
// An extended message: its id (0 the extension handshake) and payload.
void AppendExtended(uint8_t id, const std::vector<uint8_t>& payload, std::vector<uint8_t>* out);
