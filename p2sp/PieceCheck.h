// Reads a whole file back and checks every piece against the seed's hashes
// (a torrent's SHA-1 or a Metalink's SHA-256 pieces) before it is renamed
// into place or seeded: whatever reached the disk, from whichever source,
// the finished file is the one the seed describes, or the pieces that are
// not are named and fetched again.
#pragma once

#include "p2sp/PieceTable.h"
#include "p2sp/record/PartialFile.h"

#include <atomic>
#include <cstdint>
#include <vector>

enum class PieceCheckResult { kChecked, kStopped, kUnreadable };

// kChecked with the failing pieces (by index) in `bad`; kUnreadable when
// the file cannot be read or hashed, which condemns no piece; kStopped when
// `stop` became true meanwhile.
PieceCheckResult CheckAllPieces(PartFile& file, const PieceTable& pieces, const std::atomic<bool>& stop,
                                std::vector<uint64_t>* bad);
