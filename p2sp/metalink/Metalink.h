// The seed: a Metalink 4 document (RFC 5854) that describes files, their
// sizes, hashes, piece hashes and mirror URLs.
#pragma once

#include "p2sp/PieceTable.h"
#include "p2sp/swarm/TorrentSeed.h"

#include <string>

// Fetches the document at `seedUrl` and fills `table` with the file entry
// named like the task's file (the last segment of `taskUrl`, or the file name
// of `target`). False when the document cannot be fetched or parsed, names
// no such file, or gives hash types the platform cannot compute.
bool LoadMetalinkSeed(const std::wstring& seedUrl, const std::wstring& taskUrl, const std::wstring& target,
                      PieceTable* table);

// A seed that may be a Metalink document or a torrent, told apart by its
// content. A torrent is taken only when it is sound and names the target's
// file: `table` then holds its pieces and web seeds and `torrent` the rest.
// A torrent that is cut short, malformed or names another file is refused
// like a Metalink that names none (false): the task goes on over HTTP.
bool LoadSeed(const std::wstring& seedUrl, const std::wstring& taskUrl, const std::wstring& target,
              PieceTable* table, TorrentSeedData* torrent);
