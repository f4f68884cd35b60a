#include "p2sp/swarm/PeerWire.h"

#include <cstring>

namespace {

const char kProtocol[] = "BitTorrent protocol";  // 19 bytes

uint32_t ReadU32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

void AppendU32(uint32_t v, std::vector<uint8_t>* out) {
    out->push_back(uint8_t(v >> 24));
    out->push_back(uint8_t(v >> 16));
    out->push_back(uint8_t(v >> 8));
    out->push_back(uint8_t(v));
}

// A block inside its piece: the caller checks it against the piece's size.
bool SaneBlock(uint32_t begin, uint32_t length) {
    return length > 0 && length <= kBlockBytes && uint64_t(begin) + length <= (uint64_t(1) << 32);
}

}  // namespace

void EncodeHandshake(const Handshake& h, uint8_t out[kHandshakeBytes]) {
    out[0] = 19;
    std::memcpy(out + 1, kProtocol, 19);
    std::memcpy(out + 20, h.reserved, 8);
    std::memcpy(out + 28, h.infoHash, 20);
    std::memcpy(out + 48, h.peerId, 20);
}

bool DecodeHandshake(const uint8_t in[kHandshakeBytes], Handshake* out) {
    if (in[0] != 19 || std::memcmp(in + 1, kProtocol, 19) != 0) return false;
    std::memcpy(out->reserved, in + 20, 8);
    std::memcpy(out->infoHash, in + 28, 20);
    std::memcpy(out->peerId, in + 48, 20);
    return true;
}

WireResult ParsePeerMessage(const uint8_t* data, size_t size, const WireLimits& limits, PeerMessage* out,
                            size_t* used) {
    *out = PeerMessage();
    if (size < 4) return WireResult::kNeedMore;
    const uint32_t length = ReadU32(data);
    // Only a bitfield may be longer than a block message, and only as long
    // as this torrent's bitfield: refused as soon as its kind is known.
    const size_t bitfieldLength = 1 + Bitfield::WireBytes(limits.pieceCount);
    if (length > kMaxMessageBytes) {
        if (length != bitfieldLength) return WireResult::kMalformed;
        if (size < 5) return WireResult::kNeedMore;
        if (data[4] != uint8_t(PeerMessageType::kBitfield)) return WireResult::kMalformed;
    }
    if (size - 4 < length) return WireResult::kNeedMore;
    *used = 4 + size_t(length);
    if (length == 0) {
        out->type = PeerMessageType::kKeepAlive;
        return WireResult::kMessage;
    }
    const uint8_t id = data[4];
    const uint8_t* body = data + 5;
    const uint32_t bodySize = length - 1;
    const bool fastId = id >= 13 && id <= 17;
    if (fastId && !limits.fast) return WireResult::kMalformed;
    out->type = PeerMessageType(id);
    switch (PeerMessageType(id)) {
    case PeerMessageType::kChoke:
    case PeerMessageType::kUnchoke:
    case PeerMessageType::kInterested:
    case PeerMessageType::kNotInterested:
    case PeerMessageType::kHaveAll:
    case PeerMessageType::kHaveNone:
        return bodySize == 0 ? WireResult::kMessage : WireResult::kMalformed;
    case PeerMessageType::kHave:
    case PeerMessageType::kSuggest:
    case PeerMessageType::kAllowedFast:
        if (bodySize != 4) return WireResult::kMalformed;
        out->index = ReadU32(body);
        return out->index < limits.pieceCount ? WireResult::kMessage : WireResult::kMalformed;
    case PeerMessageType::kBitfield:
        if (bodySize != Bitfield::WireBytes(limits.pieceCount)) return WireResult::kMalformed;
        out->payload = body;
        out->payloadSize = bodySize;
        return WireResult::kMessage;
    case PeerMessageType::kRequest:
    case PeerMessageType::kCancel:
    case PeerMessageType::kReject:
        if (bodySize != 12) return WireResult::kMalformed;
        out->index = ReadU32(body);
        out->begin = ReadU32(body + 4);
        out->length = ReadU32(body + 8);
        return out->index < limits.pieceCount && SaneBlock(out->begin, out->length) ? WireResult::kMessage
                                                                                     : WireResult::kMalformed;
    case PeerMessageType::kPiece:
        if (bodySize < 9) return WireResult::kMalformed;
        out->index = ReadU32(body);
        out->begin = ReadU32(body + 4);
        out->length = bodySize - 8;
        out->payload = body + 8;
        out->payloadSize = out->length;
        return out->index < limits.pieceCount && SaneBlock(out->begin, out->length) ? WireResult::kMessage
                                                                                     : WireResult::kMalformed;
    case PeerMessageType::kExtended:
        if (!limits.extensions) break;
        if (bodySize < 1) return WireResult::kMalformed;
        out->index = body[0];
        out->payload = body + 1;
        out->payloadSize = bodySize - 1;
        return WireResult::kMessage;
    case PeerMessageType::kPort:
        if (bodySize != 2) return WireResult::kMalformed;
        out->type = PeerMessageType::kIgnored;  // DHT, which this client does not run
        return WireResult::kMessage;
    default:
        break;
    }
    // Extensions we did not offer (the extension protocol, hash messages):
    // skipped when small, refused when not.
    if (length > kMaxMessageBytes) return WireResult::kMalformed;
    out->type = PeerMessageType::kIgnored;
    return WireResult::kMessage;
}

void AppendKeepAlive(std::vector<uint8_t>* out) { AppendU32(0, out); }

void AppendExtended(uint8_t id, const std::vector<uint8_t>& payload, std::vector<uint8_t>* out) {
    AppendU32(uint32_t(2 + payload.size()), out);
    out->push_back(uint8_t(PeerMessageType::kExtended));
    out->push_back(id);
    out->insert(out->end(), payload.begin(), payload.end());
}

void AppendSimple(PeerMessageType type, std::vector<uint8_t>* out) {
    AppendU32(1, out);
    out->push_back(uint8_t(type));
}

void AppendHave(uint32_t index, std::vector<uint8_t>* out) {
    AppendU32(5, out);
    out->push_back(uint8_t(PeerMessageType::kHave));
    AppendU32(index, out);
}

void AppendBitfield(const Bitfield& have, std::vector<uint8_t>* out) {
    AppendU32(uint32_t(1 + have.Bytes().size()), out);
    out->push_back(uint8_t(PeerMessageType::kBitfield));
    out->insert(out->end(), have.Bytes().begin(), have.Bytes().end());
}

void AppendBlockMessage(PeerMessageType type, uint32_t index, uint32_t begin, uint32_t length,
                        std::vector<uint8_t>* out) {
    AppendU32(13, out);
    out->push_back(uint8_t(type));
    AppendU32(index, out);
    AppendU32(begin, out);
    AppendU32(length, out);
}

void AppendPiece(uint32_t index, uint32_t begin, const uint8_t* block, uint32_t length, std::vector<uint8_t>* out) {
    AppendU32(9 + length, out);
    out->push_back(uint8_t(PeerMessageType::kPiece));
    AppendU32(index, out);
    AppendU32(begin, out);
    out->insert(out->end(), block, block + length);
}
