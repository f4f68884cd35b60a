// A torrent as the seed of one task: its info hash, and its pieces and web
// seeds in the engine's own piece table, so the HTTP sources check and fill
// the same pieces the peers do.
#pragma once

#include "p2sp/PieceTable.h"
#include "p2sp/swarm/TorrentMeta.h"

#include <cstdint>
#include <string>

// A torrent a task uses: what it says and its info hash.
struct TorrentSeedData {
    bool present = false;
    TorrentMeta meta;
    uint8_t infoHash[20] = {};
};

// SHA-1 of the info dictionary's bytes in `data` (the bytes `meta` was read from).
bool TorrentInfoHash(const uint8_t* data, size_t size, const TorrentMeta& meta, uint8_t out[20]);

// The torrent's file, pieces and web seeds as a piece table.
void TorrentPieceTable(const TorrentMeta& meta, PieceTable* table);

// Whether the torrent names the task's file: its name is the target's file
// name (compared without regard to case). The size is compared once the
// task knows it.
bool TorrentNamesTarget(const TorrentMeta& meta, const std::wstring& target);

// UTF-8 to UTF-16; invalid sequences become U+FFFD.
std::wstring WideFromUtf8(const std::string& text);
