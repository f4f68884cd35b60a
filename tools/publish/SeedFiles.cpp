#include "tools/publish/SeedFiles.h"

#include "codec/Sha1.h"
#include "tools/publish/Bencode.h"

namespace {

std::string XmlEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default: out += c;
        }
    }
    return out;
}

BValue InfoDictionary(const std::string& fileName, const FileDigests& digests) {
    std::string pieces;
    pieces.reserve(digests.sha1Pieces.size() * CSha1::kDigestBytes);
    for (const auto& piece : digests.sha1Pieces) pieces.append(reinterpret_cast<const char*>(piece.data()), piece.size());
    return BValue::Dictionary({
        {"length", BValue::Integer(static_cast<int64_t>(digests.size))},
        {"name", BValue::Bytes(fileName)},
        {"piece length", BValue::Integer(static_cast<int64_t>(digests.pieceLength))},
        {"pieces", BValue::Bytes(pieces)},
    });
}

}  // namespace

std::string BuildMetalink(const std::string& fileName, const FileDigests& digests, const std::vector<std::string>& urls) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<metalink xmlns=\"urn:ietf:params:xml:ns:metalink\">\n"
        "  <generator>vorla-publish</generator>\n"
        "  <file name=\"" + XmlEscaped(fileName) + "\">\n"
        "    <size>" + std::to_string(digests.size) + "</size>\n"
        "    <hash type=\"sha-256\">" + digests.sha256 + "</hash>\n"
        "    <pieces length=\"" + std::to_string(digests.pieceLength) + "\" type=\"sha-256\">\n";
    for (const auto& piece : digests.sha256Pieces) xml += "      <hash>" + HexText(piece.data(), piece.size()) + "</hash>\n";
    xml += "    </pieces>\n";
    int priority = 1;
    for (const std::string& url : urls)
        xml += "    <url priority=\"" + std::to_string(priority++) + "\">" + XmlEscaped(url) + "</url>\n";
    xml += "  </file>\n</metalink>\n";
    return xml;
}

std::string BuildTorrent(const std::string& fileName, const FileDigests& digests, const std::vector<std::string>& webSeeds,
                         const std::string& tracker) {
    std::map<std::string, BValue> torrent;
    torrent.emplace("info", InfoDictionary(fileName, digests));
    torrent.emplace("created by", BValue::Bytes("vorla-publish"));
    std::vector<BValue> seeds;
    for (const std::string& url : webSeeds) seeds.push_back(BValue::Bytes(url));
    torrent.emplace("url-list", BValue::List(std::move(seeds)));
    if (!tracker.empty()) torrent.emplace("announce", BValue::Bytes(tracker));
    return BValue::Dictionary(std::move(torrent)).Encode();
}

std::string TorrentInfoHash(const std::string& fileName, const FileDigests& digests) {
    const std::string info = InfoDictionary(fileName, digests).Encode();
    CSha1 sha1;
    sha1.Update(info.data(), info.size());
    uint8_t digest[CSha1::kDigestBytes];
    sha1.Final(digest);
    return HexText(digest, sizeof(digest));
}
