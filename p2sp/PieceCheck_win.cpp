#include "p2sp/PieceCheck.h"

#include "p2sp/PieceHash.h"

#include <algorithm>

namespace {

constexpr size_t kReadBytes = 1u << 20;

}  // namespace

PieceCheckResult CheckAllPieces(PartFile& file, const PieceTable& pieces, const std::atomic<bool>& stop,
                                std::vector<uint64_t>* bad) {
    bad->clear();
    if (!pieces.HasPieces()) return PieceCheckResult::kChecked;
    PieceHash hash(pieces.pieceHashType);
    if (!hash.Valid()) return PieceCheckResult::kUnreadable;
    std::vector<uint8_t> buffer(kReadBytes);
    std::vector<uint8_t> digest;
    for (uint64_t index = 0; index < pieces.pieceHashes.size(); ++index) {
        if (stop.load()) return PieceCheckResult::kStopped;
        if (!hash.Start()) return PieceCheckResult::kUnreadable;
        const uint64_t end = pieces.PieceEnd(index);
        for (uint64_t at = pieces.PieceBegin(index); at < end;) {
            const DWORD n = DWORD(std::min<uint64_t>(kReadBytes, end - at));
            if (!file.ReadAt(at, buffer.data(), n) || !hash.Update(buffer.data(), n))
                return PieceCheckResult::kUnreadable;
            at += n;
        }
        if (!hash.Finish(&digest)) return PieceCheckResult::kUnreadable;
        if (digest != pieces.pieceHashes[size_t(index)]) bad->push_back(index);
    }
    return PieceCheckResult::kChecked;
}
