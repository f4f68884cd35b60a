#include "config/ConfigEncoding.h"

#include <gtest/gtest.h>

namespace {

struct KindCase {
    const char* name;
    std::string bytes;
    ConfigTextKind kind;
};

TEST(ConfigEncoding, ClassifiesTheEncodingsPortalsWrite) {
    const KindCase cases[] = {
        {"utf16 little endian mark", std::string("\xFF\xFE[\0", 4), ConfigTextKind::Utf16WithMark},
        {"utf16 big endian mark", std::string("\xFE\xFF\0[", 4), ConfigTextKind::Utf16WithMark},
        {"plain ascii", "[GameConfig]\r\nGameName=abc\r\n", ConfigTextKind::Ascii},
        {"empty", "", ConfigTextKind::Ascii},
        {"utf8 without mark", "GameName=\xE6\x98\x9F\xE8\xBE\xB0", ConfigTextKind::Utf8},
        {"utf8 with mark", "\xEF\xBB\xBF[GameConfig]", ConfigTextKind::Utf8},
        {"gbk", "GameName=\xD0\xC7\xB3\xBD", ConfigTextKind::CodePage},
        {"overlong slash", "a\xC0\xAF", ConfigTextKind::CodePage},
        {"surrogate", "a\xED\xA0\x80", ConfigTextKind::CodePage},
        {"above U+10FFFF", "a\xF4\x90\x80\x80", ConfigTextKind::CodePage},
        {"cut sequence at end", "a\xE6\x98", ConfigTextKind::CodePage},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.kind, ClassifyConfigText(c.bytes)) << c.name;
    }
}

TEST(ConfigEncoding, ConvertsUtf8ToUtf16WithMarkAndDropsTheUtf8Mark) {
    EXPECT_EQ(std::string("\xFF\xFE" "A\0\x1F\x66", 6), Utf8ToUtf16LeWithMark("A\xE6\x98\x9F"));
    EXPECT_EQ(std::string("\xFF\xFE" "A\0", 4), Utf8ToUtf16LeWithMark("\xEF\xBB\xBF" "A"));
    // U+1F600 becomes a surrogate pair.
    EXPECT_EQ(std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), Utf8ToUtf16LeWithMark("\xF0\x9F\x98\x80"));
}

TEST(ConfigEncoding, LeavesEverythingButUtf8Alone) {
    std::string out;
    EXPECT_FALSE(NormaliseConfigText("GameName=\xD0\xC7", out));
    EXPECT_EQ("GameName=\xD0\xC7", out);
    EXPECT_FALSE(NormaliseConfigText("GameName=abc", out));
    EXPECT_EQ("GameName=abc", out);
    EXPECT_TRUE(NormaliseConfigText("\xEF\xBB\xBFX=1", out));
    EXPECT_EQ(std::string("\xFF\xFEX\0=\0" "1\0", 8), out);
}

}  // namespace
