// The markup grammar, colour and number reading.
#include "ui/SomMarkup.h"

#include <gtest/gtest.h>

namespace {

TEST(SomMarkup, PlainTextIsOneRunWithDefaults) {
    const auto runs = ParseSomMarkup(L"下载进度：");
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ(L"下载进度：", runs[0].text);
    EXPECT_EQ(-1, runs[0].font);
    EXPECT_EQ(-1, runs[0].colour);
    EXPECT_TRUE(runs[0].link.empty());
}

TEST(SomMarkup, OnlyATagProducesNoRun) {
    EXPECT_TRUE(ParseSomMarkup(L"{&#color=0xffffff}").empty());
    EXPECT_TRUE(ParseSomMarkup(L"").empty());
}

TEST(SomMarkup, UnrecognisedTagIsDropped) {
    const auto runs = ParseSomMarkup(L"abc{&#xyz}def");
    ASSERT_EQ(2u, runs.size());
    EXPECT_EQ(L"abc", runs[0].text);
    EXPECT_EQ(L"def", runs[1].text);
}

TEST(SomMarkup, UnclosedTagIsText) {
    const auto runs = ParseSomMarkup(L"{&#abc");
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ(L"{&#abc", runs[0].text);
}

TEST(SomMarkup, BraceWithoutMarkIsText) {
    const auto runs = ParseSomMarkup(L"a{b}{&c}");
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ(L"a{b}{&c}", runs[0].text);
}

TEST(SomMarkup, LinkRunsTakeColourOnlyFromAcolor) {
    auto runs = ParseSomMarkup(L"{&#a=button:7}{&#color=0xffffff}OK");
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ(L"button:7", runs[0].link);
    EXPECT_EQ(-1, runs[0].colour) << "the link colour, not white";

    runs = ParseSomMarkup(L"{&#a=button:16}{&#acolor=89257}打开");
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ(89257, runs[0].colour);
}

TEST(SomMarkup, TagNamesIgnoreCase) {
    const auto runs = ParseSomMarkup(L"{&#A=button:7}OK{&#/A}{&#COLOR=#0000ff}x{&#FONT=3}y");
    ASSERT_EQ(3u, runs.size());
    EXPECT_EQ(L"button:7", runs[0].link);
    EXPECT_TRUE(runs[1].link.empty());
    EXPECT_EQ(0xff, runs[1].colour) << "the number is used unchanged: red in the lowest byte";
    EXPECT_EQ(2, runs[2].font);
}

TEST(SomMarkup, ClosingAcolorLeavesTheLink) {
    const auto runs = ParseSomMarkup(L"{&#a=http://x/}{&#acolor=5}a{&#/acolor}b{&#/a}c");
    ASSERT_EQ(3u, runs.size());
    EXPECT_EQ(5, runs[0].colour);
    EXPECT_EQ(L"http://x/", runs[1].link) << "/acolor must not be read as /a";
    EXPECT_EQ(-1, runs[1].colour);
    EXPECT_TRUE(runs[2].link.empty());
}

TEST(SomMarkup, PopsNeverRemoveTheBottomEntry) {
    const auto runs = ParseSomMarkup(L"{&#/color}{&#/font}{&#/a}{&#/acolor}x");
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ(-1, runs[0].colour);
    EXPECT_EQ(-1, runs[0].font);
    EXPECT_TRUE(runs[0].link.empty());
}

TEST(SomMarkup, FontOutOfRangeIsIgnoredAndItsCloserPopsThePrevious) {
    const auto runs = ParseSomMarkup(L"{&#font=5}a{&#font=17}b{&#/font}c{&#font=0}d");
    ASSERT_EQ(4u, runs.size());
    EXPECT_EQ(4, runs[0].font);
    EXPECT_EQ(4, runs[1].font);
    EXPECT_EQ(-1, runs[2].font);
    EXPECT_EQ(-1, runs[3].font);
}

TEST(SomMarkup, NestedColoursPopBack) {
    const auto runs = ParseSomMarkup(L"{&#color=1}a{&#color=2}b{&#/color}c");
    ASSERT_EQ(3u, runs.size());
    EXPECT_EQ(1, runs[0].colour);
    EXPECT_EQ(2, runs[1].colour);
    EXPECT_EQ(1, runs[2].colour);
}

struct ColourCase {
    const wchar_t* text;
    int32_t expected;
};

TEST(SomMarkup, ColourValuesAreReadLikeWcstol) {
    const ColourCase cases[] = {
        {L"0x0000ff", 0xff},   {L"#ff0000", 0xff0000}, {L"0XFFFFFF", 0xffffff}, {L"15518394", 15518394},
        {L"  42", 42},         {L"12abc", 12},         {L"abc", 0},             {L"-1", -1},
        {L"99999999999", INT32_MAX}, {L"#zz", 0},      {L"0x", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, ParseSomColour(c.text)) << c.text;
}

TEST(SomMarkup, ButtonLinks) {
    int32_t id = -5;
    EXPECT_TRUE(ParseSomButtonLink(L"button:0x10", id));
    EXPECT_EQ(16, id);
    EXPECT_TRUE(ParseSomButtonLink(L"BUTTON:19", id));
    EXPECT_EQ(19, id);
    EXPECT_TRUE(ParseSomButtonLink(L"button:", id));
    EXPECT_EQ(0, id) << "no digits sends id 0";
    EXPECT_FALSE(ParseSomButtonLink(L"http://example/", id));
}

// Text from outside (a fetched configuration) put into markup must show as
// itself and never become a tag: not a link, not a colour, not a font.
TEST(SomMarkup, EscapedTextIsShownAsItselfAndNeverATag) {
    const wchar_t* const texts[] = {
        L"plain 文本",
        L"{&#a=button:2026}退出",
        L"{&#a=button:2026}{&#acolor=255}退出{&#/a}",
        L"{&#color=0x0000ff}red{&#/color}",
        L"{&#font=16}big",
        L"{{&#a=x}",
        L"{&#{&#a=x}}",
        L"ends with {&#",
        L"ends with {",
        L"{&#}",
        L"a}b{c{&d",
    };
    for (const wchar_t* text : texts) {
        // Alone, and inside the markup of a link as the page writes it.
        for (const std::wstring& prefix : {std::wstring(), std::wstring(L"{&#a=button:19}{&#acolor=89257}")}) {
            const auto runs = ParseSomMarkup(prefix + EscapeSomMarkupText(text));
            std::wstring shown;
            for (const auto& run : runs) {
                shown += run.text;
                EXPECT_EQ(prefix.empty() ? L"" : L"button:19", run.link) << text;
                EXPECT_EQ(prefix.empty() ? -1 : 89257, run.colour) << text;
                EXPECT_EQ(-1, run.font) << text;
            }
            EXPECT_EQ(std::wstring(text), shown);
        }
    }
    EXPECT_EQ(L"no markup here", EscapeSomMarkupText(L"no markup here")) << "text without tags is unchanged";
}

}  // namespace
