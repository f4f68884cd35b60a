// Any bytes as a stream from a peer: the first two bytes choose the piece
// count and whether the Fast extension was agreed, the rest is read message
// after message as a connection reads it. The parser must stay inside the
// bytes, and every message it accepts must encode back to exactly its bytes
// and keep to the limits (indexes in range, blocks of at most 16 KiB).
#include "fuzz/FuzzCheck.h"
#include "p2sp/swarm/PeerWire.h"

#include <vector>

namespace {

void CheckRoundTrip(const PeerMessage& m, const uint8_t* bytes, size_t used, const WireLimits& limits) {
    std::vector<uint8_t> again;
    switch (m.type) {
    case PeerMessageType::kKeepAlive: AppendKeepAlive(&again); break;
    case PeerMessageType::kChoke:
    case PeerMessageType::kUnchoke:
    case PeerMessageType::kInterested:
    case PeerMessageType::kNotInterested:
    case PeerMessageType::kHaveAll:
    case PeerMessageType::kHaveNone: AppendSimple(m.type, &again); break;
    case PeerMessageType::kHave:
        FUZZ_CHECK(m.index < limits.pieceCount, "a have out of range");
        AppendHave(m.index, &again);
        break;
    case PeerMessageType::kBitfield: {
        FUZZ_CHECK(m.payloadSize == Bitfield::WireBytes(limits.pieceCount), "a bitfield of the wrong length");
        FUZZ_CHECK(m.payload == bytes + 5, "a bitfield's payload is not in its message");
        Bitfield field;
        if (field.FromWire(m.payload, m.payloadSize, limits.pieceCount)) AppendBitfield(field, &again);
        else return;  // spare bits set: the connection refuses it after parsing
        break;
    }
    case PeerMessageType::kRequest:
    case PeerMessageType::kCancel:
    case PeerMessageType::kReject:
        FUZZ_CHECK(m.index < limits.pieceCount && m.length > 0 && m.length <= kBlockBytes, "a request out of range");
        AppendBlockMessage(m.type, m.index, m.begin, m.length, &again);
        break;
    case PeerMessageType::kPiece:
        FUZZ_CHECK(m.index < limits.pieceCount && m.length > 0 && m.length <= kBlockBytes, "a block out of range");
        FUZZ_CHECK(m.payload == bytes + 13 && m.payloadSize == m.length, "a block's payload is not in its message");
        AppendPiece(m.index, m.begin, m.payload, m.length, &again);
        break;
    case PeerMessageType::kSuggest:
    case PeerMessageType::kAllowedFast:
        FUZZ_CHECK(limits.fast, "a Fast message without the extension");
        FUZZ_CHECK(m.index < limits.pieceCount, "an index out of range");
        return;
    case PeerMessageType::kIgnored:
        FUZZ_CHECK(used <= 4 + kMaxMessageBytes, "an oversized message is skipped instead of refused");
        return;
    default:
        FUZZ_CHECK(false, "a message of an unknown kind");
    }
    FUZZ_CHECK(again.size() == used && std::equal(again.begin(), again.end(), bytes),
               "an accepted message does not encode back to its bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    WireLimits limits;
    limits.pieceCount = size_t(data[0]) * 37 + 1;
    limits.fast = (data[1] & 1) != 0;
    data += 2;
    size -= 2;
    if (size >= kHandshakeBytes) {
        Handshake h;
        if (DecodeHandshake(data, &h)) {
            uint8_t again[kHandshakeBytes];
            EncodeHandshake(h, again);
            FUZZ_CHECK(std::equal(again, again + kHandshakeBytes, data), "a handshake does not round-trip");
        }
    }
    while (size > 0) {
        PeerMessage m;
        size_t used = 0;
        const WireResult r = ParsePeerMessage(data, size, limits, &m, &used);
        if (r != WireResult::kMessage) break;
        FUZZ_CHECK(used >= 4 && used <= size, "a message claims bytes outside the input");
        CheckRoundTrip(m, data, used, limits);
        data += used;
        size -= used;
    }
    return 0;
}
