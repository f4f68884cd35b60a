// FileMd5 and the file checks, on files in the temporary folder. The digest
// of large files is cross-checked with the platform's own MD5 (CryptoAPI).
#include "config/DownloaderConfig.h"
#include "app/EngineWiring.h"
#include "engine/FileChecks.h"
#include "tests/support/TestSupport.h"

#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <string>

using namespace testing_support;

namespace {

std::wstring TempPath(const wchar_t* name) { return TempFolder() + L"vorla-engine-" + name; }

std::string PatternBytes(size_t n, uint32_t seed) {
    std::string bytes(n, '\0');
    uint32_t x = seed;
    for (auto& b : bytes) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<char>(x >> 24);
    }
    return bytes;
}

std::string CryptoApiMd5(const char* data, size_t size) {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    std::string hex;
    if (::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
        ::CryptCreateHash(provider, CALG_MD5, 0, 0, &hash) &&
        ::CryptHashData(hash, reinterpret_cast<const BYTE*>(data), static_cast<DWORD>(size), 0)) {
        BYTE digest[16];
        DWORD length = sizeof(digest);
        if (::CryptGetHashParam(hash, HP_HASHVAL, digest, &length, 0)) hex = Md5Hex(digest);
    }
    if (hash) ::CryptDestroyHash(hash);
    if (provider) ::CryptReleaseContext(provider, 0);
    return hex;
}

std::string FileMd5Hex(const std::wstring& path) {
    uint8_t digest[CMd5::kDigestBytes] = {};
    if (!FileMd5(path, digest)) return "failed";
    return Md5Hex(digest);
}

TEST(FileMd5, LargeFileIsDigestedOverItsLast50MiB) {
    const std::wstring path = TempPath(L"60mib.bin");
    const std::string bytes = PatternBytes(60u << 20, 1);
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    const size_t skipped = bytes.size() - static_cast<size_t>(kMd5TailBytes);
    const std::string tail = CryptoApiMd5(bytes.data() + skipped, static_cast<size_t>(kMd5TailBytes));
    ASSERT_EQ(32u, tail.size());
    EXPECT_EQ(tail, FileMd5Hex(path));
    EXPECT_NE(CryptoApiMd5(bytes.data(), bytes.size()), tail);
    ::DeleteFileW(path.c_str());
}

// At the limit the whole file counts; one byte more drops the first byte.
TEST(FileMd5, FileOfExactly50MiBIsDigestedWhole) {
    const std::wstring path = TempPath(L"50mib.bin");
    std::string bytes = PatternBytes(static_cast<size_t>(kMd5TailBytes) + 1, 2);
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    EXPECT_EQ(CryptoApiMd5(bytes.data() + 1, bytes.size() - 1), FileMd5Hex(path));
    bytes.resize(static_cast<size_t>(kMd5TailBytes));
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    EXPECT_EQ(CryptoApiMd5(bytes.data(), bytes.size()), FileMd5Hex(path));
    ::DeleteFileW(path.c_str());
}

TEST(FileMd5, SmallFileIsDigestedWhole) {
    const std::wstring path = TempPath(L"abc.bin");
    ASSERT_TRUE(WriteFileBytes(path, "abc"));
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", FileMd5Hex(path));
    ::DeleteFileW(path.c_str());
}

TEST(FileMd5, EmptyOrMissingFileHasNoDigest) {
    const std::wstring path = TempPath(L"empty.bin");
    ASSERT_TRUE(WriteFileBytes(path, ""));
    uint8_t digest[CMd5::kDigestBytes] = {};
    EXPECT_FALSE(FileMd5(path, digest));
    ::DeleteFileW(path.c_str());
    EXPECT_FALSE(FileMd5(path, digest));
    EXPECT_FALSE(FileMd5(TempFolder(), digest));  // a folder
    EXPECT_EQ(std::string(32, '0'), Md5Hex(digest));
}

TEST(IsFileMd5Valid, OnlyTheExactLowerCaseDigestMatches) {
    const std::wstring path = TempPath(L"abc.bin");
    ASSERT_TRUE(WriteFileBytes(path, "abc"));
    EXPECT_TRUE(IsFileMd5Valid(path, L"900150983cd24fb0d6963f7d28e17f72"));
    EXPECT_FALSE(IsFileMd5Valid(path, L"900150983CD24FB0D6963F7D28E17F72"));
    EXPECT_FALSE(IsFileMd5Valid(path, L"900150983cd24fb0d6963f7d28e17f7"));
    EXPECT_FALSE(IsFileMd5Valid(path, L"900150983cd24fb0d6963f7d28e17f72 "));
    EXPECT_FALSE(IsFileMd5Valid(path, L""));
    ::DeleteFileW(path.c_str());
    EXPECT_FALSE(IsFileMd5Valid(path, L"900150983cd24fb0d6963f7d28e17f72"));
}

TEST(IsFileComplete, SizeMustEqualTheConfiguredGameSize) {
    const std::wstring config = TempPath(L"config.ini");
    ASSERT_TRUE(WriteFileBytes(config,
                               "[GameConfig]\r\nGameName=Test\r\nGameSize=5000\r\nGameDownloadLink=http://h/x.exe\r\n"
                               "[DownLoader]\r\nNewVersion=1.0.0.1\r\n"));
    ASSERT_TRUE(TheDownloaderConfig().ParseFile(config));
    ASSERT_EQ(5000u, TheDownloaderConfig().GetGameSize());
    const std::wstring path = TempPath(L"game.exe");
    ASSERT_TRUE(WriteFileBytes(path, std::string(5000, 'g')));
    EXPECT_TRUE(IsFileComplete(path));
    ASSERT_TRUE(WriteFileBytes(path, std::string(4999, 'g')));
    EXPECT_FALSE(IsFileComplete(path));
    ASSERT_TRUE(WriteFileBytes(path, std::string(5001, 'g')));
    EXPECT_FALSE(IsFileComplete(path));
    ::DeleteFileW(path.c_str());
    EXPECT_FALSE(IsFileComplete(path));
    ::DeleteFileW(config.c_str());
}

TEST(IsFileComplete, EmptyFileIsNeverComplete) {
    const std::wstring path = TempPath(L"zero.bin");
    ASSERT_TRUE(WriteFileBytes(path, ""));
    EXPECT_FALSE(IsFileOfSize(path, 0));
    ::DeleteFileW(path.c_str());
}

}  // namespace
