// A signed portal's configuration: the build's trust, the signature's DER
// form, its check through CNG (against a vector signed by openssl), and
// Load refusing every configuration its signature does not vouch for, as
// one that could not be fetched.
#include "config/ConfigSignature.h"
#include "config/DownloaderConfig.h"
#include "config/PortalTrust.h"

#include "base/ScopedCngHandle.h"
#include "codec/Sha256.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

std::string Bytes(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(char(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// Signed with `openssl dgst -sha256 -sign` by the key whose point is kKey;
// both r and s needed a leading zero.
const char kKey[] =
    "042f237fadbaa475b1c461e0114068e280d3953a8a92a84c35a793900b61432f666c7ce9ba05fee01681ee1aadd28d6b3634233305861ee"
    "74bd6a8d02cd42f272f";
const char kOtherKey[] =
    "0476ef266a353b5e58b27bbc869e963d01f1d07e91bb3d65e40645da07bf0b9a3a86a731f5db5b1376d6fa1672de83bcdab44a99ebc30a"
    "2c29bf393c56e72faf0b";
const char kMessage[] = "[GameConfig]\r\nGameName=test\r\n";
const char kSignature[] =
    "304602210082c85aa0bb26a2157493f879c435e6323317772b2c2897e6a25f2491ac5c7df0022100f8e056866fe3954c881dd880624b30"
    "e82e645f9849e7893da3d0a6c4a2429e2e";

PortalTrust TrustOf(std::initializer_list<const char*> keys) {
    std::string text;
    for (const char* k : keys) text += std::string("key=") + k + "\n";
    PortalTrust trust;
    EXPECT_TRUE(ParsePortalTrust(text, &trust));
    return trust;
}

TEST(PortalTrust, SchemeAndKeysOrNothing) {
    PortalTrust t;
    ASSERT_TRUE(ParsePortalTrust(
        std::string("scheme=https\r\nhost=portal-2.example:8443\n\nkey=") + kKey + "\nkey=" + kOtherKey + "\n", &t));
    EXPECT_TRUE(t.https);
    EXPECT_EQ(t.host, "portal-2.example:8443");
    ASSERT_EQ(t.keys.size(), 2u);
    EXPECT_EQ(t.keys[0][0], 0x2f);
    EXPECT_EQ(t.keys[1][63], 0x0b);
    const std::string refused[] = {
        "scheme=ftp",
        std::string("key=") + (kKey + 2),           // no 04
        std::string("key=") + kKey + "00",          // too long
        std::string("key=") + std::string(kKey).replace(10, 1, "g"),
        "keys=04",
        "scheme=https\nnonsense",
        "host=", "host=a/b", "host=a@b", "host=a:", "host=a:0", "host=a:65536", "host=a:80x",
    };
    for (const std::string& text : refused) {
        PortalTrust untouched;
        untouched.https = true;
        EXPECT_FALSE(ParsePortalTrust(text, &untouched)) << text;
        EXPECT_TRUE(untouched.https && untouched.keys.empty()) << text;
    }
}

TEST(ConfigSignature, OnlyTheShortestDerOfTwoPositiveIntegersIsRead) {
    uint8_t rs[64];
    const std::string good = Bytes(kSignature);
    ASSERT_TRUE(EcdsaSignatureFromDer(reinterpret_cast<const uint8_t*>(good.data()), good.size(), rs));
    EXPECT_EQ(rs[0], 0x82);
    EXPECT_EQ(rs[32], 0xf8);
    const struct {
        const char* hex;
        const char* why;
    } refused[] = {
        {"3006020101020101" "00", "a byte after the sequence"},
        {"3007020101020101", "the sequence longer than its bytes"},
        {"3007020200010201" "01", "a needless leading zero"},
        {"30060201ff020101", "a negative integer"},
        {"3006020100020101", "r of zero"},
        {"31060201010201" "01", "not a sequence"},
        {"3081060201010201" "01", "a long-form length"},
        {"3026022100" "0101010101010101010101010101010101010101010101010101010101010101" "020101",
         "a leading zero before a byte without its high bit"},
        {"3026022101" "0101010101010101010101010101010101010101010101010101010101010101" "020101",
         "r longer than 32 bytes"},
    };
    for (const auto& c : refused) {
        const std::string der = Bytes(c.hex);
        EXPECT_FALSE(EcdsaSignatureFromDer(reinterpret_cast<const uint8_t*>(der.data()), der.size(), rs)) << c.why;
    }
}

TEST(ConfigSignature, AnOpensslSignatureHoldsForItsBytesAndItsKeyOnly) {
    const std::string message = kMessage, signature = Bytes(kSignature);
    EXPECT_TRUE(VerifyConfigSignature(message, signature, TrustOf({kKey}).keys));
    EXPECT_TRUE(VerifyConfigSignature(message, signature, TrustOf({kOtherKey, kKey}).keys)) << "keys rolled over";
    EXPECT_FALSE(VerifyConfigSignature(message, signature, TrustOf({kOtherKey}).keys));
    EXPECT_FALSE(VerifyConfigSignature(message, signature, {}));
    std::string changed = message;
    changed[15] ^= 1;
    EXPECT_FALSE(VerifyConfigSignature(changed, signature, TrustOf({kKey}).keys));
    std::string torn = signature;
    torn[10] ^= 1;
    EXPECT_FALSE(VerifyConfigSignature(message, torn, TrustOf({kKey}).keys));
}

// A key pair of the test's own, made through CNG, signs what the test
// publishes on the portal.
class SignedPortal : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, BCryptOpenAlgorithmProvider(algorithm_.receive(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0));
        ASSERT_EQ(0, BCryptGenerateKeyPair(algorithm_.get(), key_.receive(), 256, 0));
        ASSERT_EQ(0, BCryptFinalizeKeyPair(key_.get(), 0));
        std::vector<uint8_t> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 64);
        ULONG size = 0;
        ASSERT_EQ(0, BCryptExportKey(key_.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, blob.data(), ULONG(blob.size()),
                                     &size, 0));
        std::memcpy(trust_.keys.emplace_back().data(), blob.data() + sizeof(BCRYPT_ECCKEY_BLOB), 64);
    }
    void TearDown() override {
        ::DeleteFileW(ConfigOnPortal().c_str());
        ::DeleteFileW((ConfigOnPortal() + L".sig").c_str());
    }

    std::wstring ConfigOnPortal() {
        return PortalDir() + L"\\tool\\down\\" + TheDownloaderConfig().GetGameId() + L".html";
    }
    std::string Sign(const std::string& bytes) {
        uint8_t digest[32], rs[64];
        CSha256 sha;
        sha.Update(bytes.data(), bytes.size());
        sha.Final(digest);
        ULONG size = 0;
        EXPECT_EQ(0, BCryptSignHash(key_.get(), nullptr, digest, 32, rs, 64, &size, 0));
        // DER: each integer minimal, positive.
        std::string der;
        for (int half = 0; half < 2; ++half) {
            std::string v(reinterpret_cast<const char*>(rs + 32 * half), 32);
            while (v.size() > 1 && v[0] == 0 && !(uint8_t(v[1]) & 0x80)) v.erase(0, 1);
            if (uint8_t(v[0]) & 0x80) v.insert(0, 1, '\0');
            der += '\x02';
            der += char(v.size());
            der += v;
        }
        return std::string("\x30", 1) + char(der.size()) + der;
    }
    void Publish(const std::string& config, const std::string* signature) {
        ASSERT_TRUE(WriteFileBytes(ConfigOnPortal(), config));
        ::DeleteFileW((ConfigOnPortal() + L".sig").c_str());
        if (signature) ASSERT_TRUE(WriteFileBytes(ConfigOnPortal() + L".sig", *signature));
    }

    ScopedCngAlgorithm algorithm_;
    ScopedCngKey key_;
    PortalTrust trust_;
};

const char kConfig[] =
    "[GameConfig]\r\nGameName=Signed\r\nGameSize=100\r\nGameDownloadLink=http://127.0.0.1:17223/games/x.exe\r\n"
    "GameSha256=ab\r\n[DownLoader]\r\nNewVersion=1.1.0.1005\r\n";

TEST_F(SignedPortal, OnlyAConfigurationItsSignatureVouchesForIsTaken) {
    CDownloaderConfig config;
    config.SetTrust(trust_);
    const std::string good = kConfig, signature = Sign(good);
    Publish(good, &signature);
    ASSERT_EQ(CONFIG_READY, config.Load(nullptr));
    EXPECT_EQ(L"Signed", config.GetGameName());
    EXPECT_EQ(L"ab", config.GetGameSha256());

    CDownloaderConfig refused;
    refused.SetTrust(trust_);
    std::string changed = good;
    changed.replace(changed.find("Signed"), 6, "Signee");  // one letter changed on the way
    Publish(changed, &signature);
    EXPECT_EQ(CONFIG_DOWNLOAD_FAILED, refused.Load(nullptr));
    EXPECT_TRUE(refused.GetGameName().empty()) << "nothing of it is read";
    Publish(good, nullptr);
    EXPECT_EQ(CONFIG_DOWNLOAD_FAILED, refused.Load(nullptr)) << "no signature";
    const std::string other = Sign(changed);
    Publish(good, &other);
    EXPECT_EQ(CONFIG_DOWNLOAD_FAILED, refused.Load(nullptr)) << "the signature of other bytes";
    // Neither file outlives Load.
    EXPECT_FALSE(FileExists(refused.GetConfigFilePath()));
    EXPECT_FALSE(FileExists(refused.GetConfigFilePath() + L".sig"));
    // A build that carries no key takes any configuration, as before.
    CDownloaderConfig unsigned_;
    EXPECT_EQ(CONFIG_READY, unsigned_.Load(nullptr));
}

TEST(PortalOverHttps, EveryRequestThePortalGetsUsesHttps) {
    CDownloaderConfig config;
    PortalTrust trust;
    trust.https = true;
    trust.host = "localhost:17243";
    config.SetTrust(trust);
    EXPECT_EQ(0u, config.GetConfigUrl().find(L"https://localhost:17243/tool/down/"));
    // Plain http skin and statistics links from its configuration are not used.
    const std::wstring path = TempFolder() + L"https-config.ini";
    ASSERT_TRUE(WriteFileBytes(path, "[GameConfig]\r\nGameName=n\r\nGameSize=1\r\nGameDownloadLink=http://h/x.exe\r\n"
                                     "[DownLoader]\r\nNewVersion=1\r\nSkinLink=http://h/skin.png\r\n"
                                     "[Keldor]\r\nDomainName=https://h/stat\r\n"));
    ASSERT_TRUE(config.ParseFile(path));
    EXPECT_TRUE(config.GetSkinLink().empty());
    EXPECT_EQ(L"https://h/stat", config.GetDomainName());
    ::DeleteFileW(path.c_str());
}

}  // namespace
