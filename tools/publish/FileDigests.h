// Everything the publication needs from the installer's bytes, from one read
// of the file: its size, the downloader's check digest (MD5 of the last
// 50 MiB), the whole-file SHA-256 and the SHA-256 pieces of the Metalink
// seed, and the SHA-1 pieces of the torrent. Each digest runs on its own
// thread over the same blocks, so hashing keeps up with the disk.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct FileDigests {
    uint64_t size = 0;
    std::string md5Tail;  // 32 lower-case hex digits
    std::string sha256;   // 64 lower-case hex digits
    uint64_t pieceLength = 0;
    std::vector<std::array<uint8_t, 20>> sha1Pieces;
    std::vector<std::array<uint8_t, 32>> sha256Pieces;
};

// A power of two from 256 KiB to 16 MiB that gives about 1000 to 2000
// pieces: a short list for a small file, pieces a peer can fetch in a few
// seconds for a large one.
uint64_t ChoosePieceLength(uint64_t size);

// Called on the reading thread after each block: bytes read so far, size.
using DigestProgress = std::function<void(uint64_t done, uint64_t total)>;

// Reads the file at `path` (UTF-8) once. When `copyTo` is not empty the bytes
// are also written there. pieceLength 0 chooses it from the size. False with
// a message when a file cannot be read or written.
bool DigestFile(const std::string& path, uint64_t pieceLength, const std::string& copyTo,
                const DigestProgress& progress, FileDigests* digests, std::string* error);

// Lower-case hexadecimal, two digits per byte.
std::string HexText(const uint8_t* bytes, size_t count);
