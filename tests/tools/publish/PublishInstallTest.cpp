// Republishing a game: a failure at any step leaves the earlier publication
// whole and served; the publication before the current one is kept for the
// downloads still running on it, older ones go; and a signed publication's
// signature holds for the configuration's exact bytes.
#include "tests/tools/publish/PortalFolder.h"
#include "tools/publish/ConfigSigner.h"
#include "tools/publish/Publish.h"
#include "tools/publish/PublishRecord.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class Republish : public ::testing::Test {
protected:
    void SetUp() override {
        work_ = fs::temp_directory_path() / ("vorla-republish-" + std::to_string(::getpid()));
        fs::remove_all(work_);
        Write(work_ / "skin.png", "skin of the first publication");
        ::unsetenv("VORLA_PUBLISH_FAIL_AT");
    }
    void TearDown() override {
        ::unsetenv("VORLA_PUBLISH_FAIL_AT");
        fs::remove_all(work_);
    }
    int Publish(char content, bool skin, const std::string& failAt = std::string()) {
        Write(work_ / "Setup.exe", std::string(200000, content));
        PublishOptions o;
        o.gameId = "7235";
        o.installer = (work_ / "Setup.exe").string();
        o.baseUrl = "http://127.0.0.1:17223";
        o.out = Portal().string();
        o.gameName = "republished";
        o.minVersion = "1.1.0.1005";
        o.quiet = true;
        if (skin) o.skinFile = (work_ / "skin.png").string();
        o.signKey = key_;
        if (failAt.empty()) ::unsetenv("VORLA_PUBLISH_FAIL_AT");
        else ::setenv("VORLA_PUBLISH_FAIL_AT", failAt.c_str(), 1);
        std::ostringstream out, err;
        const int code = RunPublish(o, out, err, false);
        said_ = err.str();
        return code;
    }
    fs::path Portal() const { return work_ / "portal"; }
    std::string Config() const { return Read(Portal() / "tool/down/7235.html"); }
    // The configuration and everything it names are there, as it describes them.
    void ExpectWhole(char content) {
        const std::string config = Config();
        const std::string link = ConfigValue(config, "GameDownloadLink");
        const std::string installer = link.substr(link.find("/games/") + 1);
        EXPECT_EQ(std::string(200000, content), Read(Portal() / installer)) << installer;
        const std::string seed = ConfigValue(config, "SeedUrl");
        EXPECT_TRUE(fs::is_regular_file(Portal() / seed.substr(seed.find("/games/") + 1))) << seed;
        const std::string skin = ConfigValue(config, "SkinLink");
        if (!skin.empty()) {
            EXPECT_TRUE(fs::is_regular_file(Portal() / skin.substr(skin.find("/games/") + 1))) << skin;
        }
    }

    fs::path work_;
    std::string key_;
    std::string said_;
};

TEST_F(Republish, AFailureAtEveryStepLeavesTheEarlierPublicationWholeAndServed) {
    ASSERT_EQ(kPublished, Publish('a', true)) << said_;
    ExpectWhole('a');
    const auto first = Snapshot(Portal());
    for (const char* step : {"generation", "fixed", "record", "signature", "configuration"}) {
        EXPECT_EQ(kFailed, Publish('b', false, step)) << step;
        EXPECT_NE(std::string::npos, said_.find("the earlier publication is as it was")) << step << ": " << said_;
        EXPECT_TRUE(Snapshot(Portal()) == first) << step << ": the portal's folder changed";
    }
    // After the configuration only the clean-up is left: it is published.
    EXPECT_EQ(kPublished, Publish('b', false, "cleanup")) << said_;
    ExpectWhole('b');
}

TEST_F(Republish, ThePublicationBeforeTheCurrentOneIsKeptAndOlderOnesGo) {
    ASSERT_EQ(kPublished, Publish('a', true)) << said_;
    const std::string firstInstaller = ConfigValue(Config(), "GameDownloadLink");
    const std::string firstSkin = ConfigValue(Config(), "SkinLink");
    // A downloader an earlier publication stamped (written here as such a
    // publication records it).
    const std::string downloader = "downloader/7235/VorlaDownloader.exe";
    Write(Portal() / downloader, "stamped downloader");
    PublicationRecord stamped = ReadRecord(Portal().string(), "7235");
    stamped.currentFiles.push_back(downloader);
    Write(Portal() / ".vorla-publish/7235.files", RecordText(stamped));
    // The second leaves the skin out: the first's stays, recorded, while
    // downloads of the first publication may still run. It stamps no
    // downloader: the earlier one stays, recorded as this one's.
    ASSERT_EQ(kPublished, Publish('b', false)) << said_;
    EXPECT_EQ("stamped downloader", Read(Portal() / downloader));
    const PublicationRecord second = ReadRecord(Portal().string(), "7235");
    EXPECT_EQ(1, std::count(second.currentFiles.begin(), second.currentFiles.end(), downloader));
    ExpectWhole('b');
    EXPECT_TRUE(ConfigValue(Config(), "SkinLink").empty());
    const auto path = [](const std::string& url) { return url.substr(url.find("/games/") + 1); };
    EXPECT_TRUE(fs::exists(Portal() / path(firstInstaller)));
    EXPECT_TRUE(fs::exists(Portal() / path(firstSkin)));
    const PublicationRecord record = ReadRecord(Portal().string(), "7235");
    EXPECT_EQ(1, std::count(record.previousFiles.begin(), record.previousFiles.end(), path(firstSkin)));
    // The same content again is the same publication, and nothing is refused.
    ASSERT_EQ(kPublished, Publish('b', false)) << said_;
    ASSERT_EQ(kPublished, Publish('c', false)) << said_;
    ExpectWhole('c');
    EXPECT_FALSE(fs::exists(Portal() / path(firstInstaller))) << "two publications back";
    EXPECT_FALSE(fs::exists(Portal() / path(firstSkin)));
    EXPECT_FALSE(fs::exists(Portal() / fs::path(path(firstInstaller)).parent_path()));
    // Nothing staged is left behind.
    for (const auto& entry : fs::directory_iterator(Portal() / ".vorla-publish"))
        EXPECT_TRUE(entry.is_regular_file()) << entry.path();
}

class SignedPublication : public Republish {
protected:
    void SetUp() override {
        Republish::SetUp();
        EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
        ASSERT_NE(nullptr, key);
        key_ = (work_ / "portal-key.pem").string();
        FILE* file = std::fopen(key_.c_str(), "wb");
        ASSERT_NE(nullptr, file);
        PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr);
        std::fclose(file);
        key_pair_ = key;
    }
    void TearDown() override {
        EVP_PKEY_free(key_pair_);
        Republish::TearDown();
    }
    EVP_PKEY* key_pair_ = nullptr;
};

TEST_F(SignedPublication, TheSignatureHoldsForTheConfigurationsBytesAndGameSha256IsWritten) {
    ASSERT_EQ(kPublished, Publish('a', false)) << said_;
    const std::string config = Config(), signature = Read(Portal() / "tool/down/7235.html.sig");
    ASSERT_FALSE(signature.empty());
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ASSERT_EQ(1, EVP_DigestVerifyInit(context, nullptr, EVP_sha256(), nullptr, key_pair_));
    EXPECT_EQ(1, EVP_DigestVerify(context, reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                                  reinterpret_cast<const unsigned char*>(config.data()), config.size()));
    EVP_MD_CTX_free(context);
    EXPECT_EQ("2287d207f24a941ff3b56c04c8a25ad56b63e3023207b3bb5b4ac0c9869d74be", ConfigValue(config, "GameSha256")) << "the SHA-256 of the 200000 'a' bytes";
    // The form of the public key the program's build option takes.
    std::string hex, error;
    ASSERT_TRUE(PublicKeyHex(key_, &hex, &error)) << error;
    EXPECT_EQ(130u, hex.size());
    EXPECT_EQ(0u, hex.find("04"));
    // A publication that stops signing leaves no stale signature behind.
    key_.clear();
    ASSERT_EQ(kPublished, Publish('b', false)) << said_;
    EXPECT_FALSE(fs::exists(Portal() / "tool/down/7235.html.sig"));
    EXPECT_TRUE(ConfigValue(Config(), "GameSha256").empty());
}

}  // namespace
