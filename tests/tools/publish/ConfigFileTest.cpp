// The configuration's text and encodings: GBK as Chinese Windows reads it,
// UTF-16LE with its mark, and every value the downloader could not read as
// written refused with the key and the characters named.
#include "tools/publish/ConfigFile.h"
#include "config/GbkText.h"
#include "tools/publish/TextEncoding.h"

#include <gtest/gtest.h>

namespace {

PublishOptions Options(const std::string& name) {
    PublishOptions o;
    o.gameId = "7231";
    o.baseUrl = "http://127.0.0.1:17223";
    o.gameName = name;
    o.gameVersion = "1.0.3";
    o.minVersion = "1.1.0.1005";
    return o;
}

ComputedValues Computed() {
    ComputedValues c;
    c.gameSize = 62926905;
    c.gameMd5 = "c074321053e3e71e6746a85069685dca";
    c.downloadLink = "http://127.0.0.1:17223/games/7231/Setup.exe";
    c.seedUrl = c.downloadLink + ".meta4";
    return c;
}

std::string Encoded(const PublishOptions& o, ConfigEncoding encoding, std::string* error) {
    std::string bytes;
    error->clear();
    EncodeConfig(BuildConfigEntries(o, Computed()), encoding, &bytes, error);
    return bytes;
}

}  // namespace

TEST(TextEncodingTest, ChineseNameBecomesItsCodePage936Bytes) {
    std::string out;
    std::u32string unfit;
    ASSERT_TRUE(EncodeGbk("星辰远征 v2", &out, &unfit));
    EXPECT_EQ(std::string("\xD0\xC7\xB3\xBD\xD4\xB6\xD5\xF7 v2"), out);
}

TEST(TextEncodingTest, CharactersWithoutAFormAreListedOnceInOrder) {
    std::string out;
    std::u32string unfit;
    EXPECT_FALSE(EncodeGbk("星한辰😀한", &out, &unfit));
    EXPECT_EQ(std::u32string(U"한😀"), unfit);
    EXPECT_EQ("한 (U+D55C)", DescribeCodePoint(U'한'));
    EXPECT_EQ("😀 (U+1F600)", DescribeCodePoint(U'😀'));
}

TEST(ConfigFileTest, KeysComeInTheirSectionsWithTheComputedValues) {
    const std::string text = ConfigText(BuildConfigEntries(Options("星辰远征"), Computed()));
    EXPECT_EQ(0u, text.find("[GameConfig]\r\nGameName=星辰远征\r\nGameSize=62926905\r\n"
                            "GameDownloadLink=http://127.0.0.1:17223/games/7231/Setup.exe\r\n"
                            "GameMd5=c074321053e3e71e6746a85069685dca\r\n"
                            "SeedUrl=http://127.0.0.1:17223/games/7231/Setup.exe.meta4\r\nGameVersion=1.0.3\r\n"));
    EXPECT_NE(std::string::npos, text.find("\r\n[DownLoader]\r\nSkinLink=\r\nNewVersion=1.1.0.1005\r\n"));
    EXPECT_NE(std::string::npos, text.find("\r\n[Keldor]\r\nKeldorDownloaderLink=\r\nsafecheck=1\r\n"));
    EXPECT_NE(std::string::npos, text.find("DomainName=http://127.0.0.1:17223/stat\r\n"));
}

TEST(ConfigFileTest, GbkFileHoldsTheNameInCodePage936) {
    std::string error;
    const std::string bytes = Encoded(Options("星辰远征"), ConfigEncoding::Gbk, &error);
    EXPECT_EQ("", error);
    EXPECT_NE(std::string::npos, bytes.find("GameName=\xD0\xC7\xB3\xBD\xD4\xB6\xD5\xF7\r\n"));
}

TEST(ConfigFileTest, Utf16FileStartsWithItsMarkAndHoldsAnyName) {
    std::string error;
    const std::string bytes = Encoded(Options("星辰远征한😀"), ConfigEncoding::Utf16WithMark, &error);
    EXPECT_EQ("", error);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ("\xFF\xFE", bytes.substr(0, 2));
    // "[" then "G" as UTF-16LE; the name's 星 is U+661F, 😀 a surrogate pair.
    EXPECT_EQ(std::string("[\0G\0", 4), bytes.substr(2, 4));
    EXPECT_NE(std::string::npos, bytes.find(std::string("=\0\x1F\x66", 4)));
    EXPECT_NE(std::string::npos, bytes.find(std::string("\x3D\xD8\x00\xDE", 4)));
}

TEST(ConfigFileTest, RefusalsNameTheKeyAndTheCause) {
    struct Case {
        const char* what;
        PublishOptions options;
        ConfigEncoding encoding;
        std::vector<std::string> said;
    };
    PublishOptions tip = Options("星辰远征");
    tip.companionTip = "안전 도우미";
    PublishOptions twoLines = Options("星辰\n远征");
    PublishOptions longName = Options(std::string(260, 'x'));
    const Case cases[] = {
        {"name GBK cannot hold", Options("星辰远征한😀"), ConfigEncoding::Gbk, {"GameName", "한 (U+D55C)", "😀 (U+1F600)", "utf-16"}},
        {"companion tip GBK cannot hold", tip, ConfigEncoding::Gbk, {"KeldorInstallTip", "안 (U+C548)"}},
        {"GBK bytes that read as UTF-8", Options("茅"), ConfigEncoding::Gbk, {"UTF-8"}},
        {"line break", twoLines, ConfigEncoding::Utf16WithMark, {"GameName", "line break"}},
        {"value longer than the downloader reads", longName, ConfigEncoding::Utf16WithMark, {"GameName", "259"}},
    };
    for (const Case& c : cases) {
        std::string error;
        Encoded(c.options, c.encoding, &error);
        for (const std::string& part : c.said) EXPECT_NE(std::string::npos, error.find(part)) << c.what << ": " << error;
    }
}
