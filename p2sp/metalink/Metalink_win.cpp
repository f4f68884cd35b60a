#include "p2sp/metalink/Metalink.h"

#include "base/SeedLimits.h"

#include "p2sp/http/HttpSource.h"
#include "p2sp/metalink/MetalinkDocument.h"

#include <vector>

namespace {

constexpr DWORD kMaxSeedBytes = DWORD(kMaxSeedDocumentBytes);  // a torrent of a large file holds many piece hashes

bool FetchDocument(const std::wstring& url, std::string* body) {
    HttpSource http;
    HttpReply reply;
    if (!http.Open() || !http.Send(url, std::string(), &reply) || reply.status != 200) return false;
    std::vector<char> buffer(64u << 10);
    for (;;) {
        DWORD got = 0;
        if (!http.Read(buffer.data(), DWORD(buffer.size()), &got)) return false;
        if (got == 0) return true;
        body->append(buffer.data(), got);
        if (body->size() > kMaxSeedBytes) return false;
    }
}

}  // namespace

bool LoadMetalinkSeed(const std::wstring& seedUrl, const std::wstring& taskUrl, const std::wstring& target,
                      PieceTable* table) {
    std::string body;
    if (!FetchDocument(seedUrl, &body)) return false;
    return ParseMetalinkDocument(body, LastPathSegment(taskUrl), LastPathSegment(target), table);
}

bool LoadSeed(const std::wstring& seedUrl, const std::wstring& taskUrl, const std::wstring& target,
              PieceTable* table, TorrentSeedData* torrent) {
    *torrent = TorrentSeedData();
    std::string body;
    if (!FetchDocument(seedUrl, &body)) return false;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(body.data());
    if (!LooksLikeTorrent(bytes, body.size()))
        return ParseMetalinkDocument(body, LastPathSegment(taskUrl), LastPathSegment(target), table);
    TorrentSeedData parsed;
    if (ParseTorrent(bytes, body.size(), &parsed.meta) != TorrentError::kNone) return false;
    if (!TorrentNamesTarget(parsed.meta, target)) return false;
    if (!TorrentInfoHash(bytes, body.size(), parsed.meta, parsed.infoHash)) return false;
    TorrentPieceTable(parsed.meta, table);
    parsed.present = true;
    *torrent = std::move(parsed);
    return true;
}
