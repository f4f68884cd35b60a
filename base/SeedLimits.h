// What the engine takes of a seed, shared with the portal's publishing tool
// so that it never publishes a seed every downloader would ignore: the
// largest seed (a Metalink or a torrent file) the engine fetches, and
// the longest piece it checks.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kMaxSeedDocumentBytes = 8u << 20;
constexpr uint64_t kMaxSeedPieceLength = 64u << 20;
