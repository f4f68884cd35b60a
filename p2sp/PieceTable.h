// What a seed says about one file: its size, whole-file hash, the hashes of
// its pieces and where else it can be fetched. No platform code here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The largest size or piece length a seed may give: what a signed 64-bit
// file offset holds, so a size plus a piece length never wraps.
constexpr uint64_t kMaxSeedSize = uint64_t(INT64_MAX);

struct PieceTable {
    std::string name;        // file name as the seed gives it
    uint64_t size = 0;
    std::string hashType;    // of the whole file: "sha-256", ...; empty when none
    std::vector<uint8_t> fileHash;
    std::string pieceHashType;
    uint64_t pieceLength = 0;  // 0 when the seed lists no pieces
    std::vector<std::vector<uint8_t>> pieceHashes;
    std::vector<std::wstring> mirrors;  // http(s) URLs, preference order

    bool HasPieces() const {
        return pieceLength > 0 && !pieceHashes.empty() &&
               pieceHashes.size() == (size + pieceLength - 1) / pieceLength;
    }
    // Piece `index` covers [PieceBegin(index), PieceEnd(index)).
    uint64_t PieceBegin(uint64_t index) const { return index * pieceLength; }
    uint64_t PieceEnd(uint64_t index) const {
        uint64_t end = (index + 1) * pieceLength;
        return end < size ? end : size;
    }
};
