// Any bytes as bencoded data, a torrent and a tracker answer. The decoder
// must stay inside the bytes; a value it accepts must encode back to exactly
// the input (only canonical forms are accepted, and dictionaries keep their
// order), with every value's span inside its parent's. A torrent it accepts
// must be self-consistent, and an answer's peer list bounded.
#include "fuzz/FuzzCheck.h"
#include "p2sp/swarm/Bencode.h"
#include "p2sp/swarm/TorrentMeta.h"
#include "p2sp/swarm/TrackerAnnounce.h"

namespace {

void Encode(const BencodeValue& v, std::string* out) {
    switch (v.kind) {
    case BencodeValue::Kind::kInteger:
        *out += "i" + std::to_string(static_cast<long long>(v.integer)) + "e";
        break;
    case BencodeValue::Kind::kString:
        *out += std::to_string(v.text.size()) + ":" + v.text;
        break;
    case BencodeValue::Kind::kList:
        *out += "l";
        for (const BencodeValue& item : v.items) Encode(item, out);
        *out += "e";
        break;
    case BencodeValue::Kind::kDictionary:
        *out += "d";
        for (const auto& entry : v.entries) {
            *out += std::to_string(entry.first.size()) + ":" + entry.first;
            Encode(entry.second, out);
        }
        *out += "e";
        break;
    }
}

void CheckSpans(const BencodeValue& v, size_t begin, size_t end, int depth) {
    FUZZ_CHECK(v.begin >= begin && v.end <= end && v.begin < v.end, "a value's span leaves its parent");
    FUZZ_CHECK(depth <= BencodeLimits().maxDepth, "nesting deeper than the limit is accepted");
    size_t previous = v.begin;
    for (const BencodeValue& item : v.items) {
        CheckSpans(item, v.begin + 1, v.end - 1, depth + 1);
        FUZZ_CHECK(item.begin >= previous, "list items out of order");
        previous = item.end;
    }
    for (const auto& entry : v.entries) {
        CheckSpans(entry.second, v.begin + 1, v.end - 1, depth + 1);
        FUZZ_CHECK(entry.second.begin > previous, "dictionary values out of order");
        previous = entry.second.end;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BencodeValue value;
    const BencodeError error = DecodeBencode(data, size, &value);
    FUZZ_CHECK(BencodeErrorName(error) != nullptr, "an error without a name");
    if (error == BencodeError::kNone) {
        std::string again;
        Encode(value, &again);
        FUZZ_CHECK(again == std::string(reinterpret_cast<const char*>(data), size),
                   "an accepted value does not encode back to its input");
        CheckSpans(value, 0, size, 0);
        FUZZ_CHECK(value.begin == 0 && value.end == size, "the top value does not fill the input");
    }

    TorrentMeta meta;
    const TorrentError torrentError = ParseTorrent(data, size, &meta);
    FUZZ_CHECK(TorrentErrorName(torrentError) != nullptr, "a torrent error without a name");
    if (torrentError == TorrentError::kNone) {
        FUZZ_CHECK(error == BencodeError::kNone, "a torrent is accepted that does not decode");
        FUZZ_CHECK(meta.infoBegin < meta.infoEnd && meta.infoEnd <= size && data[meta.infoBegin] == 'd',
                   "the info span is not a dictionary inside the input");
        FUZZ_CHECK(meta.length > 0 && meta.pieceLength > 0 && meta.pieceLength <= kMaxTorrentPieceLength,
                   "sizes out of range");
        FUZZ_CHECK((meta.PieceCount() - 1) * meta.pieceLength < meta.length &&
                       meta.PieceCount() * meta.pieceLength >= meta.length,
                   "the piece count does not cover the file");
        FUZZ_CHECK(!meta.name.empty() && meta.name.find('/') == std::string::npos, "a path accepted as a name");
        FUZZ_CHECK(LooksLikeTorrent(data, size), "an accepted torrent is not recognised as one");
    }

    AnnounceReply reply;
    if (ParseAnnounceReply(data, size, &reply)) {
        FUZZ_CHECK(reply.peers.size() <= kMaxAnnouncePeers, "more peers than the limit");
        for (const PeerAddress& peer : reply.peers) FUZZ_CHECK(peer.port != 0, "a peer with port 0");
        FUZZ_CHECK(!reply.failure.empty() || reply.interval > 0, "an answer without interval or failure");
    }
    return 0;
}
