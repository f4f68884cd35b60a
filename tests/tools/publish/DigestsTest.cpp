// The digests the publication computes: SHA-1 and SHA-256 against published
// vectors, the tail digest against MD5 of the tail itself, and one read of a
// file against each digest computed on its own.
#include "codec/Md5Tail.h"
#include "codec/Sha1.h"
#include "codec/Sha256.h"
#include "codec/Sha256Ni.h"
#include "tools/publish/FileDigests.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

template <typename Hash>
std::string HashHex(const std::string& data, size_t chunk) {
    Hash hash;
    for (size_t at = 0; at < data.size(); at += chunk) hash.Update(data.data() + at, std::min(chunk, data.size() - at));
    uint8_t digest[Hash::kDigestBytes];
    hash.Final(digest);
    return HexText(digest, sizeof(digest));
}

struct Vector {
    std::string message;
    const char* sha1;
    const char* sha256;
};

const Vector kVectors[] = {
    {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709",
     "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d",
     "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f",
     "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string data(size, '\0');
    for (char& c : data) c = static_cast<char>(random());
    return data;
}

std::string Md5Hex(const std::string& data) {
    CMd5 md5;
    md5.Update(data.data(), data.size());
    uint8_t digest[CMd5::kDigestBytes];
    md5.Final(digest);
    return HexText(digest, sizeof(digest));
}

}  // namespace

TEST(ShaTest, PublishedVectorsHoldWhateverTheChunking) {
    // Both the processor's SHA instructions (where it has them) and the
    // portable rounds.
    for (const bool extensions : {true, false}) {
        SetShaExtensionsAllowed(extensions);
        for (const Vector& v : kVectors) {
            for (size_t chunk : {size_t(1), size_t(3), size_t(63), size_t(64), size_t(65), size_t(4096)}) {
                if (v.message.size() > 100000 && chunk < 63) continue;
                EXPECT_EQ(v.sha1, HashHex<CSha1>(v.message, chunk))
                    << v.message.size() << " bytes by " << chunk << (extensions ? "" : ", portable");
                EXPECT_EQ(v.sha256, HashHex<CSha256>(v.message, chunk))
                    << v.message.size() << " bytes by " << chunk << (extensions ? "" : ", portable");
            }
        }
    }
    SetShaExtensionsAllowed(true);
}

TEST(Md5TailTest, DigestCoversTheLastFiftyMebibytesOnly) {
    const std::string data = RandomBytes(kMd5TailBytes + 1234567, 7);
    struct Case {
        size_t size;
        size_t chunk;
    };
    const Case cases[] = {{1, 1}, {1000, 7}, {kMd5TailBytes - 1, 1 << 20}, {kMd5TailBytes, 999999},
                          {kMd5TailBytes + 1, 1 << 20}, {data.size(), 4 << 20}, {data.size(), 12345}};
    for (const Case& c : cases) {
        CMd5Tail tail(c.size);
        for (size_t at = 0; at < c.size; at += c.chunk) tail.Update(at, data.data() + at, std::min(c.chunk, c.size - at));
        uint8_t digest[CMd5::kDigestBytes];
        ASSERT_TRUE(tail.Final(digest)) << c.size;
        const size_t start = c.size > kMd5TailBytes ? c.size - kMd5TailBytes : 0;
        EXPECT_EQ(Md5Hex(data.substr(start, c.size - start)), HexText(digest, sizeof(digest))) << c.size;
    }
}

TEST(Md5TailTest, FedFromTheTailsStartGivesTheSameDigest) {
    const std::string data = RandomBytes(kMd5TailBytes + 100, 8);
    CMd5Tail fromStart(data.size()), fromTail(data.size());
    fromStart.Update(0, data.data(), data.size());
    fromTail.Update(100, data.data() + 100, kMd5TailBytes);
    uint8_t a[CMd5::kDigestBytes], b[CMd5::kDigestBytes];
    ASSERT_TRUE(fromStart.Final(a));
    ASSERT_TRUE(fromTail.Final(b));
    EXPECT_EQ(HexText(a, 16), HexText(b, 16));
}

TEST(Md5TailTest, EmptyFileOrMissingTailBytesGiveNoDigest) {
    uint8_t digest[CMd5::kDigestBytes] = {};
    CMd5Tail empty(0);
    EXPECT_FALSE(empty.Final(digest));
    CMd5Tail shortFed(1000);
    shortFed.Update(0, std::string(999, 'x').data(), 999);
    EXPECT_FALSE(shortFed.Final(digest));
    CMd5Tail gap(kMd5TailBytes + 10);
    gap.Update(20, std::string(100, 'x').data(), 100);  // skips the tail's first bytes
    EXPECT_FALSE(gap.Final(digest));
}

TEST(PieceLengthTest, PiecesStayBetweenAQuarterMebibyteAndSixteen) {
    EXPECT_EQ(256u << 10, ChoosePieceLength(1));
    EXPECT_EQ(256u << 10, ChoosePieceLength(500u << 20));
    EXPECT_EQ(1u << 20, ChoosePieceLength(2000ull << 20));
    EXPECT_EQ(4u << 20, ChoosePieceLength(4ull << 30));
    EXPECT_EQ(16u << 20, ChoosePieceLength(1ull << 40));
    for (uint64_t size : {1ull << 20, 3ull << 30, 30ull << 30}) {
        const uint64_t pieces = (size + ChoosePieceLength(size) - 1) / ChoosePieceLength(size);
        EXPECT_LE(pieces, 2000u) << size;
    }
}

TEST(FileDigestsTest, OneReadGivesEveryDigestAndAnExactCopy) {
    const fs::path folder = fs::temp_directory_path() / ("vorla-digests-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    // Not a whole number of pieces nor of read blocks.
    const std::string data = RandomBytes((9u << 20) + 4321, 9);
    const fs::path source = folder / "in.bin", copy = folder / "copy.bin";
    std::ofstream(source, std::ios::binary).write(data.data(), data.size());
    FileDigests digests;
    std::string error;
    uint64_t lastDone = 0;
    ASSERT_TRUE(DigestFile(source.string(), 1u << 20, copy.string(), [&](uint64_t done, uint64_t) { lastDone = done; },
                           &digests, &error))
        << error;
    EXPECT_EQ(data.size(), lastDone);
    EXPECT_EQ(data.size(), digests.size);
    EXPECT_EQ(Md5Hex(data), digests.md5Tail);
    EXPECT_EQ(HashHex<CSha256>(data, data.size()), digests.sha256);
    ASSERT_EQ(10u, digests.sha1Pieces.size());
    ASSERT_EQ(10u, digests.sha256Pieces.size());
    for (size_t i = 0; i < 10; ++i) {
        const std::string piece = data.substr(i << 20, 1u << 20);
        EXPECT_EQ(HashHex<CSha1>(piece, piece.size()), HexText(digests.sha1Pieces[i].data(), 20)) << i;
        EXPECT_EQ(HashHex<CSha256>(piece, piece.size()), HexText(digests.sha256Pieces[i].data(), 32)) << i;
    }
    std::ifstream in(copy, std::ios::binary);
    const std::string copied((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(copied == data);
    fs::remove_all(folder);
}
