// Fetching and parsing the configuration, against nginx on 127.0.0.1:17223.
// This test program's FileDescription is 50 characters long, so its game
// identifier is the first 38 of them.
#include "config/DownloaderConfig.h"

#include "config/BuildConfig.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

const wchar_t kGameId[] = L"12345678901234567890123456789012345678";

struct Entry {
    std::wstring section, key, value;
};
using Entries = std::vector<Entry>;

Entries CompleteConfig() {
    return {
        {L"GameConfig", L"GameName", L"星辰远征"},
        {L"GameConfig", L"GameSize", L"7340032"},
        {L"GameConfig", L"GameDownloadLink", L"http://127.0.0.1:17223/games/XingchenSetup.exe"},
        {L"GameConfig", L"GameMd5", L"0123456789abcdef0123456789abcdef"},
        {L"GameConfig", L"SeedUrl", L"http://127.0.0.1:17223/seed.meta4"},
        {L"GameConfig", L"GameVersion", L"1.0.3"},
        {L"DownLoader", L"SkinLink", L""},
        {L"DownLoader", L"NewVersion", L"1.1.0.1005"},
        {L"DownLoader", L"NewVersionDownloaderLink", L"http://127.0.0.1:17223/new.html"},
        {L"DownLoader", L"EmbedLink2", L"http://127.0.0.1:17223/embed.html"},
        {L"DownLoader", L"KeldorInstallTip", L"同时安装Keldor"},
        {L"DownLoader", L"TextPromotionTitle", L"礼包"},
        {L"DownLoader", L"TextPromotionLink", L"http://127.0.0.1:17223/gift.html"},
        {L"Keldor", L"KeldorDownloaderLink", L"http://127.0.0.1:17223/keldor/KeldorSetup.exe"},
        {L"Keldor", L"safecheck", L"1"},
        {L"Keldor", L"CancelDownloadTips", L"取消?"},
        {L"Keldor", L"DomainName", L"http://127.0.0.1:17223/stat"},
    };
}

Entries Without(Entries entries, const std::wstring& key) {
    Entries out;
    for (auto& e : entries) {
        if (e.key != key) out.push_back(e);
    }
    return out;
}

Entries With(Entries entries, const std::wstring& key, const std::wstring& value) {
    for (auto& e : entries) {
        if (e.key == key) {
            e.value = value;
            return entries;
        }
    }
    return entries;
}

std::wstring Render(const Entries& entries) {
    std::map<std::wstring, std::wstring> sections;
    std::vector<std::wstring> order;
    for (const auto& e : entries) {
        if (!sections.count(e.section)) order.push_back(e.section);
        sections[e.section] += e.key + L"=" + e.value + L"\r\n";
    }
    std::wstring text;
    for (const auto& s : order) text += L"[" + s + L"]\r\n" + sections[s] + L"\r\n";
    return text;
}

enum class Encoding { Gbk, Utf16, Utf8, Utf8WithMark };

std::string Encode(const std::wstring& text, Encoding encoding) {
    switch (encoding) {
        case Encoding::Gbk: return ToGbk(text);
        case Encoding::Utf16: return ToUtf16LeWithMark(text);
        case Encoding::Utf8: return Narrow(text);
        case Encoding::Utf8WithMark: return "\xEF\xBB\xBF" + Narrow(text);
    }
    return std::string();
}

std::wstring ConfigFileOnPortal() { return PortalDir() + L"\\tool\\down\\" + kGameId + L".html"; }

void Publish(const Entries& entries, Encoding encoding = Encoding::Utf8) {
    ASSERT_TRUE(WriteFileBytes(ConfigFileOnPortal(), Encode(Render(entries), encoding)));
}

class DownloaderConfigTest : public ::testing::Test {
protected:
    // A skin cached by an earlier test or run would spare a transfer.
    void SetUp() override { ::DeleteFileW((TempFolder() + kGameId + L".png").c_str()); }
    void TearDown() override { ::DeleteFileW(ConfigFileOnPortal().c_str()); }
};

TEST_F(DownloaderConfigTest, IdentifierPathsAndVersionComeFromTheVersionResource) {
    CDownloaderConfig config;
    EXPECT_EQ(kGameId, config.GetGameId());
    EXPECT_EQ(std::wstring(L"http://") + VORLA_DOWNLOAD_HOST + L"/tool/down/" + kGameId + L".html",
              config.GetConfigUrl());
    const std::wstring temp = TempFolder();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(L'\\', temp.back());
    EXPECT_EQ(temp + kGameId + L".cfg", config.GetConfigFilePath());
    EXPECT_EQ(temp + kGameId + L"QelvoP2SP.dll", config.GetEngineLibraryPath());
    EXPECT_EQ(temp + kGameId + L"Qelvoverify.dll", config.GetMachineIdLibraryPath());
    EXPECT_EQ(L"1.1.0.1005", config.GetVersion());
    EXPECT_EQ(L"", config.GetSkinPath());  // no skin configured yet
}

TEST_F(DownloaderConfigTest, ReadsEveryKeyInEveryEncodingPortalsUse) {
    const Encoding encodings[] = {Encoding::Gbk, Encoding::Utf16, Encoding::Utf8, Encoding::Utf8WithMark};
    for (Encoding encoding : encodings) {
        SCOPED_TRACE(static_cast<int>(encoding));
        Publish(CompleteConfig(), encoding);
        CDownloaderConfig config;
        ASSERT_EQ(CONFIG_READY, config.Load(nullptr));
        EXPECT_EQ(L"星辰远征", config.GetGameName());
        EXPECT_EQ(7340032u, config.GetGameSize());
        EXPECT_EQ(L"http://127.0.0.1:17223/games/XingchenSetup.exe", config.GetGameDownloadLink());
        EXPECT_EQ(L"0123456789abcdef0123456789abcdef", config.GetGameMd5());
        EXPECT_EQ(L"http://127.0.0.1:17223/seed.meta4", config.GetSeedUrl());
        EXPECT_EQ(L"1.0.3", config.GetGameVersion());
        EXPECT_EQ(L"1.1.0.1005", config.GetNewVersion());
        EXPECT_EQ(L"http://127.0.0.1:17223/new.html", config.GetNewVersionDownloaderLink());
        EXPECT_EQ(L"http://127.0.0.1:17223/embed.html", config.GetEmbedLink2());
        EXPECT_EQ(L"同时安装Keldor", config.GetKeldorInstallTip());
        EXPECT_EQ(L"礼包", config.GetTextPromotionTitle());
        EXPECT_EQ(L"http://127.0.0.1:17223/gift.html", config.GetTextPromotionLink());
        EXPECT_EQ(L"http://127.0.0.1:17223/keldor/KeldorSetup.exe", config.GetKeldorDownloaderLink());
        EXPECT_EQ(L"1", config.GetSafecheck());
        EXPECT_EQ(L"取消?", config.GetCancelDownloadTips());
        EXPECT_EQ(L"http://127.0.0.1:17223/stat", config.GetDomainName());
    }
}

TEST_F(DownloaderConfigTest, EachRequiredKeyMissingOrEmptyMakesTheConfigurationInvalid) {
    for (const wchar_t* key : {L"GameName", L"GameSize", L"GameDownloadLink", L"NewVersion"}) {
        SCOPED_TRACE(Narrow(key));
        Publish(Without(CompleteConfig(), key));
        CDownloaderConfig missing;
        EXPECT_EQ(CONFIG_INVALID, missing.Load(nullptr));
        Publish(With(CompleteConfig(), key, L""));
        CDownloaderConfig empty;
        EXPECT_EQ(CONFIG_INVALID, empty.Load(nullptr));
    }
}

TEST_F(DownloaderConfigTest, ParsingStopsAtAMissingRequiredKey) {
    CDownloaderConfig config;
    Publish(CompleteConfig());
    ASSERT_EQ(CONFIG_READY, config.Load(nullptr));
    Entries next = With(With(Without(CompleteConfig(), L"GameDownloadLink"), L"GameName", L"新名字"), L"NewVersion",
                        L"9.9.9.9");
    Publish(next);
    EXPECT_EQ(CONFIG_INVALID, config.Load(nullptr));
    EXPECT_EQ(L"新名字", config.GetGameName());       // read before the missing key
    EXPECT_EQ(L"1.1.0.1005", config.GetNewVersion());  // after it: the old value stays
}

TEST_F(DownloaderConfigTest, GameSizeIsScannedAsAnUnsignedNumberAndNeverWraps) {
    const struct {
        const wchar_t* text;
        uint64_t size;
    } cases[] = {
        {L"abc", 0}, {L"12abc", 12}, {L"  4294967296 ", 4294967296ULL}, {L"18446744073709551615", 18446744073709551615ULL},
        // Too large for 64 bits: refused like letters, not wrapped into a wrong size.
        {L"18446744073709551616", 0}, {L"99999999999999999999999", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.text));
        Publish(With(CompleteConfig(), L"GameSize", c.text));
        CDownloaderConfig config;
        EXPECT_EQ(CONFIG_READY, config.Load(nullptr));  // letters still parse; start-up rejects size 0
        EXPECT_EQ(c.size, config.GetGameSize());
    }
}

TEST_F(DownloaderConfigTest, OptionalKeysFallBackToTheirDefaults) {
    Entries entries = Without(Without(CompleteConfig(), L"NewVersionDownloaderLink"), L"GameMd5");
    // Decoys: these keys count only in the companion section.
    entries.push_back({L"DownLoader", L"DomainName", L"http://wrong.invalid/"});
    entries.push_back({L"DownLoader", L"CancelDownloadTips", L"wrong"});
    entries.push_back({L"GameConfig", L"safecheck", L"wrong"});
    Publish(entries);
    CDownloaderConfig config;
    ASSERT_EQ(CONFIG_READY, config.Load(nullptr));
    EXPECT_EQ(VORLA_NEW_VERSION_LINK, config.GetNewVersionDownloaderLink());
    EXPECT_EQ(L"", config.GetGameMd5());
    EXPECT_EQ(L"http://127.0.0.1:17223/stat", config.GetDomainName());
    EXPECT_EQ(L"取消?", config.GetCancelDownloadTips());
    EXPECT_EQ(L"1", config.GetSafecheck());
}

TEST_F(DownloaderConfigTest, LongValuesKeepTheirFirst259Characters) {
    Publish(With(CompleteConfig(), L"GameName", std::wstring(300, L'名')));
    CDownloaderConfig config;
    ASSERT_EQ(CONFIG_READY, config.Load(nullptr));
    EXPECT_EQ(std::wstring(259, L'名'), config.GetGameName());
}

TEST_F(DownloaderConfigTest, TheConfigurationFileNeverOutlivesLoad) {
    CDownloaderConfig config;
    const std::wstring local = config.GetConfigFilePath();
    Publish(CompleteConfig());
    EXPECT_EQ(CONFIG_READY, config.Load(nullptr));
    EXPECT_FALSE(FileExists(local));
    Publish(Without(CompleteConfig(), L"GameName"));
    EXPECT_EQ(CONFIG_INVALID, config.Load(nullptr));
    EXPECT_FALSE(FileExists(local));
    ::DeleteFileW(ConfigFileOnPortal().c_str());
    EXPECT_EQ(CONFIG_DOWNLOAD_FAILED, config.Load(nullptr));
    EXPECT_FALSE(FileExists(local));
    // A left-over file from an earlier run does not block the next load.
    ASSERT_TRUE(WriteFileBytes(local, "[GameConfig]\r\n"));
    Publish(CompleteConfig());
    EXPECT_EQ(CONFIG_READY, config.Load(nullptr));
    EXPECT_FALSE(FileExists(local));
}

void SetAge(const std::wstring& path, int64_t seconds) {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t;
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    t.QuadPart -= static_cast<ULONGLONG>(seconds) * 10000000ULL;
    FILETIME then{t.LowPart, t.HighPart};
    HANDLE file = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    ::SetFileTime(file, nullptr, nullptr, &then);
    ::CloseHandle(file);
}

TEST_F(DownloaderConfigTest, SkinIsCachedForFortyEightHours) {
    const std::string skinName = "skin-cache-" + std::to_string(::GetTickCount64()) + ".png";
    ASSERT_TRUE(WriteFileBytes(PortalDir() + L"\\t\\" + Widen(skinName), std::string(3000, 'p')));
    Publish(With(CompleteConfig(), L"SkinLink", std::wstring(kPortalBase) + L"/t/" + Widen(skinName)));
    const std::wstring log = PortalLogPath();
    const std::string request = "GET /t/" + skinName + " 200";

    CDownloaderConfig config;
    ASSERT_EQ(CONFIG_READY, config.Load(nullptr));
    const std::wstring skin = config.GetSkinPath();
    EXPECT_EQ(TempFolder() + kGameId + L".png", skin);
    EXPECT_EQ(3000u, FileSize(skin));
    EXPECT_EQ(1u, CountLinesContaining(log, request));

    ASSERT_EQ(CONFIG_READY, config.Load(nullptr));  // fresh: no transfer
    EXPECT_EQ(1u, CountLinesContaining(log, request));

    SetAge(skin, 47 * 3600);
    ASSERT_EQ(CONFIG_READY, config.Load(nullptr));
    EXPECT_EQ(1u, CountLinesContaining(log, request));

    SetAge(skin, -3600);  // written in the future: still counts as fresh
    ASSERT_EQ(CONFIG_READY, config.Load(nullptr));
    EXPECT_EQ(1u, CountLinesContaining(log, request));

    SetAge(skin, 49 * 3600);
    ASSERT_EQ(CONFIG_READY, config.Load(nullptr));
    EXPECT_EQ(2u, CountLinesContaining(log, request));
    ::DeleteFileW(skin.c_str());
}

TEST_F(DownloaderConfigTest, EmptySkinLinkNeedsNoTransferAndClearsTheSkinPath) {
    CDownloaderConfig config;
    Publish(With(CompleteConfig(), L"SkinLink", std::wstring(kPortalBase) + L"/skin/7223.png"));
    ASSERT_EQ(CONFIG_READY, config.Load(nullptr));
    EXPECT_FALSE(config.GetSkinPath().empty());
    Publish(CompleteConfig());
    EXPECT_EQ(CONFIG_READY, config.Load(nullptr));
    EXPECT_EQ(L"", config.GetSkinPath());
}

TEST_F(DownloaderConfigTest, FailedSkinTransferLeavesNoFile) {
    const struct {
        const wchar_t* name;
        std::wstring link;
    } cases[] = {
        {L"not found", std::wstring(kPortalBase) + L"/t/no-such-skin.png"},
        {L"truncated", std::wstring(kFaultsBase) + L"/truncated?announce=4000&send=1000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        Publish(With(CompleteConfig(), L"SkinLink", c.link));
        CDownloaderConfig config;
        const std::wstring skin = TempFolder() + kGameId + L".png";
        ::DeleteFileW(skin.c_str());
        EXPECT_EQ(SKIN_DOWNLOAD_FAILED, config.Load(nullptr));
        EXPECT_FALSE(FileExists(skin));
    }
}

TEST_F(DownloaderConfigTest, AConfigurationAboveOneMebibyteIsRefused) {
    const std::string text = Narrow(Render(CompleteConfig()));
    const struct {
        uint64_t size;
        int result;
    } cases[] = {
        {CDownloaderConfig::kMaxConfigBytes, CONFIG_READY},
        {CDownloaderConfig::kMaxConfigBytes + 1, CONFIG_DOWNLOAD_FAILED},
        {16 * CDownloaderConfig::kMaxConfigBytes, CONFIG_DOWNLOAD_FAILED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        // Every key as usual, then a comment line that pads the file.
        const std::string padded = text + ";" + std::string(static_cast<size_t>(c.size) - text.size() - 3, 'x') + "\r\n";
        ASSERT_EQ(c.size, padded.size());
        ASSERT_TRUE(WriteFileBytes(ConfigFileOnPortal(), padded));
        CDownloaderConfig config;
        EXPECT_EQ(c.result, config.Load(nullptr));
        EXPECT_FALSE(FileExists(config.GetConfigFilePath()));
    }
}

TEST_F(DownloaderConfigTest, ASkinAboveFourMebibytesIsRefusedAnnouncedOrNot) {
    const std::wstring limit = std::to_wstring(CDownloaderConfig::kMaxSkinBytes);
    const std::wstring over = std::to_wstring(CDownloaderConfig::kMaxSkinBytes + 1);
    const struct {
        std::wstring link;
        int result;
    } cases[] = {
        {std::wstring(kFaultsBase) + L"/bytes?size=" + limit, CONFIG_READY},
        {std::wstring(kFaultsBase) + L"/bytes?size=" + over, SKIN_DOWNLOAD_FAILED},
        {std::wstring(kFaultsBase) + L"/nolength?size=" + limit, CONFIG_READY},
        {std::wstring(kFaultsBase) + L"/nolength?size=" + over, SKIN_DOWNLOAD_FAILED},
    };
    const std::wstring skin = TempFolder() + kGameId + L".png";
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.link));
        ::DeleteFileW(skin.c_str());
        Publish(With(CompleteConfig(), L"SkinLink", c.link));
        CDownloaderConfig config;
        EXPECT_EQ(c.result, config.Load(nullptr));
        EXPECT_EQ(c.result == CONFIG_READY ? CDownloaderConfig::kMaxSkinBytes : 0u, FileSize(skin));
        EXPECT_EQ(c.result == CONFIG_READY, FileExists(skin));
    }
    ::DeleteFileW(skin.c_str());
}

struct Progress {
    int status, kind, done, total;
};

class ProgressRecorder : public CDownloaderConfig::IConfigInitCallback {
public:
    std::vector<Progress> seen;
    void OnConfigInitStatus(int done, int total, int status, int kind) override {
        seen.push_back({status, kind, done, total});
    }
};

TEST_F(DownloaderConfigTest, ProgressNamesTheTransferKind) {
    const std::string skinName = "skin-progress-" + std::to_string(::GetTickCount64()) + ".png";
    ASSERT_TRUE(WriteFileBytes(PortalDir() + L"\\t\\" + Widen(skinName), std::string(30000, 's')));
    Publish(With(CompleteConfig(), L"SkinLink", std::wstring(kPortalBase) + L"/t/" + Widen(skinName)));
    ProgressRecorder sink;
    CDownloaderConfig config;
    ASSERT_EQ(CONFIG_READY, config.Load(&sink));
    ASSERT_FALSE(sink.seen.empty());
    EXPECT_EQ(HTTP_PROGRESS_OPENED, sink.seen.front().status);
    EXPECT_EQ(CDownloaderConfig::KIND_CONFIG, sink.seen.front().kind);
    EXPECT_EQ(CDownloaderConfig::KIND_SKIN, sink.seen.back().kind);
    bool sawSkinBody = false;
    for (const auto& p : sink.seen) {
        if (p.kind == CDownloaderConfig::KIND_SKIN && p.status == HTTP_PROGRESS_RECEIVING) {
            sawSkinBody = true;
            EXPECT_EQ(30000, p.total);
        }
    }
    EXPECT_TRUE(sawSkinBody);
    ::DeleteFileW(config.GetSkinPath().c_str());
}

}  // namespace
