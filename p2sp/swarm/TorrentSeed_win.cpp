#include "p2sp/swarm/TorrentSeed.h"

#include "p2sp/metalink/MetalinkDocument.h"
#include "p2sp/PieceHash.h"

#include <windows.h>

namespace {

bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

std::wstring WideFromUtf8(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), &out[0], n);
    return out;
}

bool TorrentInfoHash(const uint8_t* data, size_t size, const TorrentMeta& meta, uint8_t out[20]) {
    if (meta.infoEnd <= meta.infoBegin || meta.infoEnd > size) return false;
    PieceHash sha1("sha-1");
    std::vector<uint8_t> digest;
    if (!sha1.Valid() || !sha1.Start() || !sha1.Update(data + meta.infoBegin, meta.infoEnd - meta.infoBegin) ||
        !sha1.Finish(&digest) || digest.size() != 20)
        return false;
    std::copy(digest.begin(), digest.end(), out);
    return true;
}

void TorrentPieceTable(const TorrentMeta& meta, PieceTable* table) {
    *table = PieceTable();
    table->name = meta.name;
    table->size = meta.length;
    table->pieceHashType = "sha-1";
    table->pieceLength = meta.pieceLength;
    for (uint64_t i = 0; i < meta.PieceCount(); ++i) {
        const uint8_t* hash = meta.pieces.data() + i * kSha1Bytes;
        table->pieceHashes.emplace_back(hash, hash + kSha1Bytes);
    }
    for (const std::string& url : meta.webSeeds) table->mirrors.push_back(WideFromUtf8(url));
}

bool TorrentNamesTarget(const TorrentMeta& meta, const std::wstring& target) {
    return SameTextIgnoringCase(WideFromUtf8(meta.name), LastPathSegment(target));
}
