// A BitTorrent v1 metainfo file of one file: what it names, how it is cut
// into pieces, the SHA-1 of each piece, its trackers and its web seeds.
// Decoded from bytes with the bounded bencode decoder; no platform code.
// The info hash is the SHA-1 of the info dictionary exactly as stored,
// which `infoBegin`/`infoEnd` locate in the input.
#pragma once

#include "base/SeedLimits.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The largest torrent file read: pieces of 20 bytes for a file of many GiB
// fit easily, and a hostile file costs no more than this.
constexpr size_t kMaxTorrentBytes = kMaxSeedDocumentBytes;
constexpr uint64_t kMaxTorrentPieceLength = kMaxSeedPieceLength;
constexpr size_t kSha1Bytes = 20;

enum class TorrentError {
    kNone = 0,
    kNotBencode,       // the bytes do not decode
    kNoInfo,           // no info dictionary
    kMultiFile,        // a "files" list: only single-file torrents are used
    kBadName,          // missing, empty, or a path rather than a file name
    kBadLength,        // missing, not positive, or too large
    kBadPieceLength,
    kBadPieces,        // not 20 bytes per piece for the file's length
    kTooLarge,
};
const char* TorrentErrorName(TorrentError error);

struct TorrentMeta {
    std::string name;  // UTF-8, as stored
    uint64_t length = 0;
    uint64_t pieceLength = 0;
    std::vector<uint8_t> pieces;  // 20 bytes per piece, in order
    std::vector<std::vector<std::string>> trackerTiers;  // announce-list, or the one announce
    std::vector<std::string> webSeeds;  // url-list, a file URL each (a folder URL gets the name added)
    size_t infoBegin = 0;  // the info dictionary's bytes in the input
    size_t infoEnd = 0;

    uint64_t PieceCount() const { return pieces.size() / kSha1Bytes; }
    uint64_t PieceSize(uint64_t index) const {
        uint64_t begin = index * pieceLength;
        return length - begin < pieceLength ? length - begin : pieceLength;
    }
};

TorrentError ParseTorrent(const uint8_t* data, size_t size, TorrentMeta* out);

// Tells a torrent from an XML seed by its first significant byte, never by
// a file name.
bool LooksLikeTorrent(const uint8_t* data, size_t size);
