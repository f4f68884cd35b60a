// Torrent metainfo: a single-file torrent gives its name, sizes, piece
// hashes, trackers and web seeds; the info hash covers the info dictionary
// exactly as stored; anything unusable is refused with its reason.
#include "p2sp/swarm/TorrentMeta.h"
#include "p2sp/swarm/TorrentSeed.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Str(const std::string& s) { return std::to_string(s.size()) + ":" + s; }
std::string Int(long long v) { return "i" + std::to_string(v) + "e"; }

// A torrent of `length` bytes in pieces of `pieceLength`; `extraInfo` and
// `extraRoot` are spliced in as already-encoded key/value pairs (keys must
// keep the dictionary's order only for readability: order is not checked).
std::string MakeInfo(const std::string& name, long long length, long long pieceLength, const std::string& extraInfo = "") {
    long long count = (length + pieceLength - 1) / pieceLength;
    return "d" + Str("length") + Int(length) + Str("name") + Str(name) + Str("piece length") + Int(pieceLength) +
           Str("pieces") + Str(std::string(size_t(count * 20), 'h')) + extraInfo + "e";
}

std::string MakeTorrent(const std::string& info, const std::string& extraRoot = "") {
    return "d" + Str("announce") + Str("http://127.0.0.1:6969/announce") + extraRoot + Str("info") + info + "e";
}

TorrentError Parse(const std::string& bytes, TorrentMeta* meta) {
    return ParseTorrent(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), meta);
}

TEST(TorrentMeta, SingleFileTorrentGivesItsFields) {
    const std::string info = MakeInfo("game.bin", 100000, 32768);
    const std::string bytes = MakeTorrent(info);
    TorrentMeta meta;
    ASSERT_EQ(Parse(bytes, &meta), TorrentError::kNone);
    EXPECT_EQ(meta.name, "game.bin");
    EXPECT_EQ(meta.length, 100000u);
    EXPECT_EQ(meta.pieceLength, 32768u);
    EXPECT_EQ(meta.PieceCount(), 4u);
    EXPECT_EQ(meta.PieceSize(3), 100000u - 3 * 32768u);
    ASSERT_EQ(meta.trackerTiers.size(), 1u);
    EXPECT_EQ(meta.trackerTiers[0][0], "http://127.0.0.1:6969/announce");
    EXPECT_EQ(bytes.substr(meta.infoBegin, meta.infoEnd - meta.infoBegin), info);
}

TEST(TorrentMeta, AnnounceListReplacesAnnounceAndKeepsTiers) {
    const std::string list = Str("announce-list") + "l" + "l" + Str("http://127.0.0.1:1/a") + Str("udp://127.0.0.1:2") +
                             "e" + "l" + Str("ftp://no") + "e" + "l" + Str("https://127.0.0.1:3/b") + "e" + "e";
    TorrentMeta meta;
    ASSERT_EQ(Parse(MakeTorrent(MakeInfo("f", 10, 16384), list), &meta), TorrentError::kNone);
    ASSERT_EQ(meta.trackerTiers.size(), 2u);
    EXPECT_EQ(meta.trackerTiers[0].size(), 2u);
    EXPECT_EQ(meta.trackerTiers[1][0], "https://127.0.0.1:3/b");
}

TEST(TorrentMeta, WebSeedFolderUrlsGetTheFileName) {
    const std::string seeds = Str("url-list") + "l" + Str("http://127.0.0.1:17223/files/") +
                              Str("http://127.0.0.1:17223/other/game.bin") + Str("magnet:?x") + "e";
    TorrentMeta meta;
    ASSERT_EQ(Parse(MakeTorrent(MakeInfo("game.bin", 10, 16384), seeds), &meta), TorrentError::kNone);
    ASSERT_EQ(meta.webSeeds.size(), 2u);
    EXPECT_EQ(meta.webSeeds[0], "http://127.0.0.1:17223/files/game.bin");
    EXPECT_EQ(meta.webSeeds[1], "http://127.0.0.1:17223/other/game.bin");

    const std::string one = Str("url-list") + Str("http://127.0.0.1/x/game.bin");
    ASSERT_EQ(Parse(MakeTorrent(MakeInfo("game.bin", 10, 16384), one), &meta), TorrentError::kNone);
    ASSERT_EQ(meta.webSeeds.size(), 1u);

    // The name joins a folder URL encoded: a '#' or '?' would otherwise end the path.
    const std::string folder = Str("url-list") + Str("http://127.0.0.1/x/");
    ASSERT_EQ(Parse(MakeTorrent(MakeInfo("My Game #2?\xe6\x98\x9f.exe", 10, 16384), folder), &meta), TorrentError::kNone);
    ASSERT_EQ(meta.webSeeds.size(), 1u);
    EXPECT_EQ(meta.webSeeds[0], "http://127.0.0.1/x/My%20Game%20%232%3F%E6%98%9F.exe");
}

struct Refused {
    std::string bytes;
    TorrentError error;
};

TEST(TorrentMeta, UnusableTorrentsAreRefusedWithTheirReason) {
    const std::string good = MakeTorrent(MakeInfo("f.bin", 100, 64));
    const Refused cases[] = {
        {"", TorrentError::kNotBencode},
        {good.substr(0, good.size() - 1), TorrentError::kNotBencode},
        {good.substr(0, good.size() / 2), TorrentError::kNotBencode},
        {"<?xml version=\"1.0\"?><metalink/>", TorrentError::kNotBencode},
        {"l" + good + "e", TorrentError::kNotBencode},
        {"d" + Str("announce") + Str("http://x/") + "e", TorrentError::kNoInfo},
        {MakeTorrent(Int(5)), TorrentError::kNoInfo},
        {MakeTorrent(MakeInfo("f", 100, 64, Str("files") + "le")), TorrentError::kMultiFile},
        {MakeTorrent(MakeInfo("", 100, 64)), TorrentError::kBadName},
        {MakeTorrent(MakeInfo("../f", 100, 64)), TorrentError::kBadName},
        {MakeTorrent(MakeInfo("a\\b", 100, 64)), TorrentError::kBadName},
        {MakeTorrent(MakeInfo("..", 100, 64)), TorrentError::kBadName},
        {MakeTorrent("d" + Str("length") + Int(0) + Str("name") + Str("f") + Str("piece length") + Int(64) +
                     Str("pieces") + Str("") + "e"),
         TorrentError::kBadLength},
        {MakeTorrent("d" + Str("length") + Int(-5) + Str("name") + Str("f") + Str("piece length") + Int(64) +
                     Str("pieces") + Str("") + "e"),
         TorrentError::kBadLength},
        {MakeTorrent("d" + Str("length") + Int(100) + Str("name") + Str("f") + Str("piece length") + Int(0) +
                     Str("pieces") + Str("") + "e"),
         TorrentError::kBadPieceLength},
        {MakeTorrent("d" + Str("length") + Int(100) + Str("name") + Str("f") + Str("piece length") +
                     Int(1LL << 40) + Str("pieces") + Str(std::string(20, 'h')) + "e"),
         TorrentError::kBadPieceLength},
        {MakeTorrent("d" + Str("length") + Int(100) + Str("name") + Str("f") + Str("piece length") + Int(64) +
                     Str("pieces") + Str(std::string(20, 'h')) + "e"),
         TorrentError::kBadPieces},
        {MakeTorrent("d" + Str("length") + Int(100) + Str("name") + Str("f") + Str("piece length") + Int(64) +
                     Str("pieces") + Str(std::string(41, 'h')) + "e"),
         TorrentError::kBadPieces},
        {MakeTorrent("d" + Str("length") + Int(INT64_MAX) + Str("name") + Str("f") + Str("piece length") + Int(1) +
                     Str("pieces") + Str(std::string(20, 'h')) + "e"),
         TorrentError::kBadPieces},
    };
    for (const Refused& c : cases) {
        TorrentMeta meta;
        EXPECT_EQ(Parse(c.bytes, &meta), c.error) << c.bytes;
    }
    std::string huge(kMaxTorrentBytes + 1, ' ');
    TorrentMeta meta;
    EXPECT_EQ(Parse(huge, &meta), TorrentError::kTooLarge);
}

TEST(TorrentMeta, ATorrentIsToldFromAnXmlDocumentByContent) {
    struct Case {
        std::string bytes;
        bool torrent;
    } cases[] = {
        {MakeTorrent(MakeInfo("f", 10, 64)), true},
        {"<?xml version=\"1.0\"?>", false},
        {"\xef\xbb\xbf<metalink/>", false},
        {"  d8:announce", false},
        {"d", false},
        {"de", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LooksLikeTorrent(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()), c.torrent)
            << c.bytes;
}

TEST(TorrentMeta, InfoHashIsTheSha1OfTheStoredInfoBytes) {
    // Keys out of order: the hash is over the bytes as stored, never a re-encoding.
    const std::string info = "d" + Str("name") + Str("a.bin") + Str("length") + Int(5) + Str("piece length") +
                             Int(16384) + Str("pieces") + Str(std::string(20, 'x')) + "e";
    const std::string bytes = MakeTorrent(info);
    TorrentMeta meta;
    ASSERT_EQ(Parse(bytes, &meta), TorrentError::kNone);
    uint8_t hash[20];
    ASSERT_TRUE(TorrentInfoHash(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), meta, hash));
    // sha1 of `info` above, computed independently.
    const uint8_t expected[20] = {0x4e, 0x0d, 0x4e, 0xe0, 0xc9, 0x54, 0xb1, 0xd8, 0xb3, 0x48,
                                    0x6c, 0x51, 0xf9, 0x79, 0xf8, 0xc8, 0x5f, 0x01, 0xc6, 0x63};
    EXPECT_EQ(std::string(reinterpret_cast<char*>(hash), 20), std::string(reinterpret_cast<const char*>(expected), 20));
}

TEST(TorrentMeta, PieceTableCarriesPiecesAndWebSeeds) {
    const std::string bytes =
        MakeTorrent(MakeInfo("game.bin", 100000, 32768), Str("url-list") + Str("http://127.0.0.1:17223/d/"));
    TorrentMeta meta;
    ASSERT_EQ(Parse(bytes, &meta), TorrentError::kNone);
    PieceTable table;
    TorrentPieceTable(meta, &table);
    EXPECT_TRUE(table.HasPieces());
    EXPECT_EQ(table.pieceHashType, "sha-1");
    EXPECT_EQ(table.size, 100000u);
    ASSERT_EQ(table.mirrors.size(), 1u);
    EXPECT_EQ(table.mirrors[0], L"http://127.0.0.1:17223/d/game.bin");
}

TEST(TorrentMeta, OnlyATorrentNamingTheTargetFileIsUsed) {
    TorrentMeta meta;
    ASSERT_EQ(Parse(MakeTorrent(MakeInfo("Game.BIN", 10, 64)), &meta), TorrentError::kNone);
    EXPECT_TRUE(TorrentNamesTarget(meta, L"C:\\games\\game.bin"));
    EXPECT_FALSE(TorrentNamesTarget(meta, L"C:\\games\\other.bin"));
    EXPECT_FALSE(TorrentNamesTarget(meta, L"C:\\games\\game.bin.old"));
}

}  // namespace
