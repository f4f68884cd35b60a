#include "p2sp/swarm/TorrentMeta.h"

#include "p2sp/swarm/Bencode.h"
#include "p2sp/swarm/TrackerAnnounce.h"

namespace {

bool TrackerUrl(const std::string& url) {
    auto starts = [&](const char* prefix) { return url.compare(0, std::char_traits<char>::length(prefix), prefix) == 0; };
    if (url.size() > 2048) return false;
    for (char c : url)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) return false;
    return starts("http://") || starts("https://") || starts("udp://");
}

bool WebSeedUrl(const std::string& url) {
    if (url.size() > 2048) return false;
    for (char c : url)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) return false;
    return url.compare(0, 7, "http://") == 0 || url.compare(0, 8, "https://") == 0;
}

bool FileName(const std::string& name) {
    if (name.empty() || name.size() > 255 || name == "." || name == "..") return false;
    for (char c : name)
        if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
    return true;
}

void ReadTrackers(const BencodeValue& root, TorrentMeta* out) {
    // announce-list, when present, replaces announce.
    if (const BencodeValue* list = root.Find("announce-list")) {
        if (list->IsList()) {
            for (const BencodeValue& tier : list->items) {
                if (!tier.IsList()) continue;
                std::vector<std::string> urls;
                for (const BencodeValue& url : tier.items)
                    if (url.IsString() && TrackerUrl(url.text)) urls.push_back(url.text);
                if (!urls.empty()) out->trackerTiers.push_back(std::move(urls));
            }
        }
    }
    if (out->trackerTiers.empty()) {
        const BencodeValue* announce = root.Find("announce");
        if (announce && announce->IsString() && TrackerUrl(announce->text))
            out->trackerTiers.push_back({announce->text});
    }
}

void ReadWebSeeds(const BencodeValue& root, TorrentMeta* out) {
    const BencodeValue* list = root.Find("url-list");
    if (!list) return;
    std::vector<const BencodeValue*> urls;
    if (list->IsString()) urls.push_back(list);
    if (list->IsList())
        for (const BencodeValue& url : list->items) urls.push_back(&url);
    for (const BencodeValue* url : urls) {
        if (!url->IsString() || !WebSeedUrl(url->text)) continue;
        // A URL ending in a slash names the folder that holds the file; the
        // name joins it percent-encoded (its UTF-8 bytes), so a space, '#'
        // or '?' in it stays part of the path.
        const std::string& name = out->name;
        out->webSeeds.push_back(url->text.back() == '/'
                                    ? url->text + PercentEncodeBytes(reinterpret_cast<const uint8_t*>(name.data()),
                                                                     name.size())
                                    : url->text);
    }
}

}  // namespace

const char* TorrentErrorName(TorrentError error) {
    switch (error) {
    case TorrentError::kNone: return "none";
    case TorrentError::kNotBencode: return "not bencoded";
    case TorrentError::kNoInfo: return "no info dictionary";
    case TorrentError::kMultiFile: return "more than one file";
    case TorrentError::kBadName: return "bad name";
    case TorrentError::kBadLength: return "bad length";
    case TorrentError::kBadPieceLength: return "bad piece length";
    case TorrentError::kBadPieces: return "bad piece hashes";
    case TorrentError::kTooLarge: return "too large";
    }
    return nullptr;
}

TorrentError ParseTorrent(const uint8_t* data, size_t size, TorrentMeta* out) {
    *out = TorrentMeta();
    if (size > kMaxTorrentBytes) return TorrentError::kTooLarge;
    BencodeValue root;
    if (DecodeBencode(data, size, &root) != BencodeError::kNone || !root.IsDictionary())
        return TorrentError::kNotBencode;
    const BencodeValue* info = root.Find("info");
    if (!info || !info->IsDictionary()) return TorrentError::kNoInfo;
    if (info->Find("files")) return TorrentError::kMultiFile;

    TorrentMeta meta;
    const BencodeValue* name = info->Find("name");
    if (!name || !name->IsString() || !FileName(name->text)) return TorrentError::kBadName;
    meta.name = name->text;

    const BencodeValue* length = info->Find("length");
    if (!length || !length->IsInteger() || length->integer <= 0) return TorrentError::kBadLength;
    meta.length = uint64_t(length->integer);

    const BencodeValue* pieceLength = info->Find("piece length");
    if (!pieceLength || !pieceLength->IsInteger() || pieceLength->integer <= 0 ||
        uint64_t(pieceLength->integer) > kMaxTorrentPieceLength)
        return TorrentError::kBadPieceLength;
    meta.pieceLength = uint64_t(pieceLength->integer);

    const BencodeValue* pieces = info->Find("pieces");
    const uint64_t count = meta.length / meta.pieceLength + (meta.length % meta.pieceLength != 0);
    if (!pieces || !pieces->IsString() || pieces->text.size() / kSha1Bytes != count ||
        pieces->text.size() % kSha1Bytes != 0)
        return TorrentError::kBadPieces;
    meta.pieces.assign(pieces->text.begin(), pieces->text.end());

    meta.infoBegin = info->begin;
    meta.infoEnd = info->end;
    ReadTrackers(root, &meta);
    ReadWebSeeds(root, &meta);
    *out = std::move(meta);
    return TorrentError::kNone;
}

bool LooksLikeTorrent(const uint8_t* data, size_t size) {
    // A torrent is a dictionary: 'd' then a key's length digit. XML starts
    // with '<', possibly after a byte order mark or white space.
    return size >= 2 && data[0] == 'd' && data[1] >= '0' && data[1] <= '9';
}
