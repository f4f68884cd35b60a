// A publication end to end on the file system: what it writes, and every
// refusal leaving the portal's folder exactly as it was.
#include "tools/publish/Publish.h"
#include "tools/publish/PublishChecks.h"
#include "tests/tools/publish/PortalFolder.h"
#include "tests/tools/publish/TinyProgram.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// The relative path of the installer the configuration names.
std::string ServedInstaller(const fs::path& portal, const std::string& id) {
    const std::string link = ConfigValue(Read(portal / ("tool/down/" + id + ".html")), "GameDownloadLink");
    const size_t games = link.find("/games/");
    return games == std::string::npos ? std::string() : link.substr(games + 1);
}

class PublishTest : public ::testing::Test {
protected:
    void SetUp() override {
        work_ = fs::temp_directory_path() / ("vorla-publish-test-" + std::to_string(::getpid()));
        fs::remove_all(work_);
        Write(work_ / "Setup.exe", std::string(300000, 'g'));
        Write(work_ / "Empty.exe", "");
    }
    void TearDown() override { fs::remove_all(work_); }

    PublishOptions Options(const std::string& id = "7231") const {
        PublishOptions o;
        o.gameId = id;
        o.installer = (work_ / "Setup.exe").string();
        o.baseUrl = "http://127.0.0.1:17223";
        o.out = (work_ / "portal").string();
        o.gameName = "星辰远征";
        o.minVersion = "1.1.0.1005";
        o.quiet = true;
        return o;
    }
    int Publish(const PublishOptions& o) {
        out_.str("");
        err_.str("");
        return RunPublish(o, out_, err_, false);
    }

    fs::path work_;
    std::ostringstream out_, err_;
};

}  // namespace

TEST(PublishChecksTest, IdentifiersAreOneTo38Digits) {
    const std::pair<const char*, bool> cases[] = {{"7223", true}, {"0", true}, {"12345678901234567890123456789012345678", true},
                                                  {"", false}, {"72a3", false}, {"-7223", false}, {" 7223", false},
                                                  {"123456789012345678901234567890123456789", false}, {"七二", false}};
    for (const auto& c : cases) EXPECT_EQ(c.second, CheckGameId(c.first).empty()) << c.first;
}

TEST(PublishChecksTest, UrlsAreHttpOrHttpsWithAHost) {
    const std::pair<const char*, bool> cases[] = {
        {"http://127.0.0.1:17223", true}, {"https://portal.example/games", true}, {"ftp://host/", false},
        {"127.0.0.1:17223", false},       {"http://", false},                    {"http:///path", false},
        {"http://host/a b", false},       {"HTTP://host", false},                {"udp://tracker:6969", false}};
    for (const auto& c : cases) EXPECT_EQ(c.second, CheckHttpUrl(c.first, "url").empty()) << c.first;
    EXPECT_TRUE(CheckTrackerUrl("udp://127.0.0.1:6969/announce").empty());
    EXPECT_EQ("/portal", UrlPath("http://host:1/portal"));
    EXPECT_EQ("http://host:1", UrlOrigin("http://host:1/portal/stat"));
}

TEST_F(PublishTest, PublishesTheServedLayout) {
    ASSERT_EQ(kPublished, Publish(Options())) << err_.str();
    const fs::path portal = work_ / "portal";
    const std::string installer = ServedInstaller(portal, "7231");
    ASSERT_EQ(0u, installer.find("games/7231/")) << installer;
    EXPECT_EQ(installer.size(), std::string("games/7231/0123456789abcdef/Setup.exe").size()) << installer;
    for (const std::string& file : {std::string("tool/down/7231.html"), installer, installer + ".meta4",
                                   installer + ".torrent", std::string("nginx/7231.conf"), std::string("nginx/stats.conf"),
                                   std::string(".vorla-publish/7231.files")})
        EXPECT_TRUE(fs::is_regular_file(portal / file)) << file;
    EXPECT_EQ(Read(work_ / "Setup.exe"), Read(portal / installer));
    // The portal's copy is its own: the operator's later edit does not reach it.
    Write(work_ / "Setup.exe", std::string(300000, 'h'));
    EXPECT_EQ(std::string(300000, 'g'), Read(portal / installer));
    Write(work_ / "Setup.exe", std::string(300000, 'g'));
    // Nothing staged is left behind.
    for (const auto& entry : fs::directory_iterator(portal / ".vorla-publish"))
        EXPECT_TRUE(entry.is_regular_file()) << entry.path();
    // The same game again replaces its own files without being asked.
    EXPECT_EQ(kPublished, Publish(Options())) << err_.str();
    EXPECT_EQ(std::string::npos, out_.str().find("note")) << out_.str();
    // Under a path, the operator is told where downloaders look instead.
    PublishOptions under = Options();
    under.baseUrl = "http://127.0.0.1:17223/portal";
    ASSERT_EQ(kPublished, Publish(under)) << err_.str();
    EXPECT_NE(std::string::npos, out_.str().find("a downloader reads http://127.0.0.1:17223/tool/down/7231.html"))
        << out_.str();
}

TEST_F(PublishTest, SeedUrlNamesTheTorrentWhenATrackerIsGivenElseTheMetalink) {
    struct Case {
        const char* tracker;
        PublishOptions::Seed seed;
        const char* expected;
    };
    const Case cases[] = {
        {"", PublishOptions::Seed::Auto, ".meta4"},
        {"http://127.0.0.1:17260/announce", PublishOptions::Seed::Auto, ".torrent"},
        {"http://127.0.0.1:17260/announce", PublishOptions::Seed::Metalink, ".meta4"},
        {"", PublishOptions::Seed::Torrent, ".torrent"},
    };
    for (const Case& c : cases) {
        PublishOptions o = Options();
        o.tracker = c.tracker;
        o.seed = c.seed;
        ASSERT_EQ(kPublished, Publish(o)) << err_.str();
        const std::string config = Read(work_ / "portal/tool/down/7231.html");
        EXPECT_EQ(ConfigValue(config, "GameDownloadLink") + c.expected, ConfigValue(config, "SeedUrl"))
            << c.tracker << " " << int(c.seed);
    }
    std::string error;
    PublishOptions parsed;
    EXPECT_FALSE(ParsePublishArguments({"--seed", "magnet"}, &parsed, &error));
    EXPECT_NE(std::string::npos, error.find("--seed is metalink or torrent")) << error;
}

TEST_F(PublishTest, EveryRefusalNamesItsCauseAndWritesNothing) {
    // An earlier publication of 7224, and a file no publication wrote.
    ASSERT_EQ(kPublished, Publish(Options("7224")));
    Write(work_ / "portal/tool/down/7232.html", "[GameConfig]\r\n");
    Write(work_ / "portal/.vorla-publish/7224.files",
          Read(work_ / "portal/.vorla-publish/7224.files") + "nginx/7233.conf\n");
    Write(work_ / "portal/nginx/7233.conf", "another game's snippet");

    struct Case {
        const char* what;
        PublishOptions options;
        std::vector<std::string> said;
    };
    std::vector<Case> cases;
    auto add = [&](const char* what, std::function<void(PublishOptions&)> change, std::vector<std::string> said) {
        PublishOptions o = Options();
        change(o);
        cases.push_back({what, o, said});
    };
    add("identifier with a letter", [](PublishOptions& o) { o.gameId = "72a3"; }, {"number", "72a3"});
    add("missing installer", [&](PublishOptions& o) { o.installer = (work_ / "Gone.exe").string(); }, {"Gone.exe", "does not exist"});
    add("empty installer", [&](PublishOptions& o) { o.installer = (work_ / "Empty.exe").string(); }, {"Empty.exe", "empty"});
    add("installer is a folder", [&](PublishOptions& o) { o.installer = work_.string(); }, {"not a file"});
    add("ftp base URL", [](PublishOptions& o) { o.baseUrl = "ftp://127.0.0.1/"; }, {"base URL", "http or https"});
    add("base URL without scheme", [](PublishOptions& o) { o.baseUrl = "127.0.0.1:17223"; }, {"base URL"});
    add("mirror not http", [](PublishOptions& o) { o.mirrors = {"file:///games/Setup.exe"}; }, {"mirror"});
    add("name GBK cannot hold", [](PublishOptions& o) { o.gameName = "별의 원정"; }, {"GameName", "별 (U+BCC4)", "의 (U+C758)"});
    add("installer name unfit for a URL", [](PublishOptions& o) { o.installerName = "Game Setup.exe"; }, {"Game Setup.exe"});
    add("no NewVersion to write", [](PublishOptions& o) { o.minVersion.clear(); }, {"--min-version"});
    add("downloader that is no program", [&](PublishOptions& o) { o.downloader = (work_ / "Setup.exe").string(); },
        {"Setup.exe", "not a program with a version resource"});
    add("another game's file", [](PublishOptions& o) { o.gameId = "7233"; }, {"nginx/7233.conf", "game 7224", "--force"});
    add("statistics on the site's root", [](PublishOptions& o) { o.statsUrl = "http://127.0.0.1:17223/"; },
        {"statistics URL", "root"});
    add("pieces the engine refuses", [](PublishOptions& o) { o.pieceLength = 128u << 20; }, {"--piece-length", "64 MiB"});
    add("a folder nginx cannot be given", [&](PublishOptions& o) { o.out = (work_ / "portal$x").string(); }, {"'$'"});
    add("a signing key that is none", [&](PublishOptions& o) { o.signKey = (work_ / "Setup.exe").string(); },
        {"P-256"});
    add("a signer the installer does not have", [](PublishOptions& o) { o.signer = "Xingchen Games Ltd"; },
        {"Setup.exe", "GameSigner"});
    add("code signing without a downloader", [&](PublishOptions& o) {
        o.codesignCert = o.codesignKey = (work_ / "Setup.exe").string();
    }, {"--downloader"});
    add("a file no publication wrote", [](PublishOptions& o) { o.gameId = "7232"; },
        {"tool/down/7232.html", "not written by vorla-publish"});

    const auto before = Snapshot(work_);
    for (const Case& c : cases) {
        EXPECT_EQ(kRefused, Publish(c.options)) << c.what;
        for (const std::string& part : c.said)
            EXPECT_NE(std::string::npos, err_.str().find(part)) << c.what << ": " << err_.str();
        EXPECT_TRUE(Snapshot(work_) == before) << c.what << ": the folder changed";
    }
    // A new folder is not even created.
    PublishOptions fresh = Options();
    fresh.gameId = "bad";
    fresh.out = (work_ / "new-portal").string();
    EXPECT_EQ(kRefused, Publish(fresh));
    EXPECT_FALSE(fs::exists(work_ / "new-portal"));
}

TEST_F(PublishTest, ForceReplacesFilesOfOthers) {
    Write(work_ / "portal/tool/down/7231.html", "hand-written\r\n");
    PublishOptions o = Options();
    o.force = true;
    EXPECT_EQ(kPublished, Publish(o)) << err_.str();
    EXPECT_NE("hand-written\r\n", Read(work_ / "portal/tool/down/7231.html"));
}

TEST_F(PublishTest, AMissingStampToolIsFoundBeforeTheInstallerIsRead) {
    Write(work_ / "VorlaDownloader.exe", TinyProgram("1.1.0.1005"));
    PublishOptions o = Options();
    o.downloader = (work_ / "VorlaDownloader.exe").string();
    o.stampTool = (work_ / "no-such-vorla-stamp.exe").string();
    EXPECT_EQ(kRefused, Publish(o));
    EXPECT_NE(std::string::npos, err_.str().find("cannot stamp the downloader")) << err_.str();
    EXPECT_EQ(std::string::npos, err_.str().find("hashing")) << "refused before a byte was read";
    EXPECT_FALSE(fs::exists(work_ / "portal"));
}

TEST_F(PublishTest, WithoutWineTheLinuxStampingSaysSoAndWritesNothing) {
    Write(work_ / "VorlaDownloader.exe", TinyProgram("1.1.0.1005"));
    Write(work_ / "vorla-stamp.exe", "MZ");
    PublishOptions o = Options();
    o.downloader = (work_ / "VorlaDownloader.exe").string();
    const char* before = std::getenv("VORLA_WINE");
    const std::string saved = before ? before : "";
    ::setenv("VORLA_WINE", (work_ / "no-wine-here").c_str(), 1);
    EXPECT_EQ(kRefused, Publish(o));
    if (before) ::setenv("VORLA_WINE", saved.c_str(), 1); else ::unsetenv("VORLA_WINE");
    EXPECT_NE(std::string::npos, err_.str().find("Wine is not installed")) << err_.str();
    EXPECT_FALSE(fs::exists(work_ / "portal"));
}
