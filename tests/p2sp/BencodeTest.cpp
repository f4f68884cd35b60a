// The bencode decoder: values decode with their byte spans, and every kind
// of malformed or hostile input is refused with its own error.
#include "p2sp/swarm/Bencode.h"

#include <gtest/gtest.h>

#include <string>

namespace {

BencodeError Decode(const std::string& text, BencodeValue* out, const BencodeLimits& limits = BencodeLimits()) {
    return DecodeBencode(reinterpret_cast<const uint8_t*>(text.data()), text.size(), out, limits);
}

TEST(Bencode, ValuesDecodeWithTheirSpans) {
    BencodeValue v;
    const std::string text = "d3:agei-42e4:listl1:ai7ee4:name4:spame";
    ASSERT_EQ(Decode(text, &v), BencodeError::kNone);
    ASSERT_TRUE(v.IsDictionary());
    EXPECT_EQ(v.begin, 0u);
    EXPECT_EQ(v.end, text.size());
    ASSERT_NE(v.Find("age"), nullptr);
    EXPECT_EQ(v.Find("age")->integer, -42);
    const BencodeValue* list = v.Find("list");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->items.size(), 2u);
    EXPECT_EQ(list->items[0].text, "a");
    EXPECT_EQ(list->items[1].integer, 7);
    EXPECT_EQ(text.substr(list->begin, list->end - list->begin), "l1:ai7ee");
    EXPECT_EQ(v.Find("name")->text, "spam");
    EXPECT_EQ(v.Find("missing"), nullptr);
}

TEST(Bencode, IntegerLimitsAreExact) {
    BencodeValue v;
    ASSERT_EQ(Decode("i9223372036854775807e", &v), BencodeError::kNone);
    EXPECT_EQ(v.integer, INT64_MAX);
    ASSERT_EQ(Decode("i-9223372036854775808e", &v), BencodeError::kNone);
    EXPECT_EQ(v.integer, INT64_MIN);
    ASSERT_EQ(Decode("i0e", &v), BencodeError::kNone);
    EXPECT_EQ(v.integer, 0);
}

TEST(Bencode, BinaryStringsKeepEveryByte) {
    BencodeValue v;
    const std::string text = std::string("4:a\0\xff", 5) + "b";
    ASSERT_EQ(Decode(text, &v), BencodeError::kNone);
    EXPECT_EQ(v.text, std::string("a\0\xff" "b", 4));
}

struct Refused {
    const char* text;
    BencodeError error;
};

TEST(Bencode, MalformedInputIsRefusedWithItsReason) {
    const Refused cases[] = {
        {"", BencodeError::kTruncated},
        {"i12", BencodeError::kTruncated},
        {"l", BencodeError::kTruncated},
        {"d3:key", BencodeError::kTruncated},
        {"5:abc", BencodeError::kBadLength},
        {"99999999999999999999:a", BencodeError::kBadLength},
        {"-1:a", BencodeError::kBadSyntax},
        {"03:abc", BencodeError::kBadLength},
        {"ie", BencodeError::kBadInteger},
        {"i-e", BencodeError::kBadInteger},
        {"i-0e", BencodeError::kBadInteger},
        {"i03e", BencodeError::kBadInteger},
        {"i1.5e", BencodeError::kBadInteger},
        {"i9223372036854775808e", BencodeError::kBadInteger},
        {"i-9223372036854775809e", BencodeError::kBadInteger},
        {"i99999999999999999999999e", BencodeError::kBadInteger},
        {"x", BencodeError::kBadSyntax},
        {"di1ei2ee", BencodeError::kBadKey},
        {"d1:ai1e1:ai2ee", BencodeError::kBadKey},
        {"i1ei2e", BencodeError::kTrailingBytes},
        {"4:spamx", BencodeError::kTrailingBytes},
    };
    for (const Refused& c : cases) {
        BencodeValue v;
        EXPECT_EQ(Decode(c.text, &v), c.error) << c.text;
    }
}

TEST(Bencode, DeepNestingIsRefusedBeforeTheStackRunsOut) {
    BencodeValue v;
    BencodeLimits limits;
    std::string nested = std::string(size_t(limits.maxDepth), 'l') + std::string(size_t(limits.maxDepth), 'e');
    EXPECT_EQ(Decode(nested, &v), BencodeError::kNone);
    std::string deeper = "l" + nested + "e";
    EXPECT_EQ(Decode(deeper, &v), BencodeError::kTooDeep);
    std::string hostile(100000, 'l');
    EXPECT_EQ(Decode(hostile, &v), BencodeError::kTooDeep);
}

TEST(Bencode, TooManyValuesAreRefused) {
    BencodeValue v;
    BencodeLimits limits;
    limits.maxValues = 10;
    EXPECT_EQ(Decode("li1ei2ei3ei4ei5ei6ei7ei8ei9ee", &v, limits), BencodeError::kNone);
    EXPECT_EQ(Decode("li1ei2ei3ei4ei5ei6ei7ei8ei9ei10ee", &v, limits), BencodeError::kTooManyValues);
}

TEST(Bencode, PrefixDecodingTellsWhereTheValueEnds) {
    BencodeValue v;
    size_t used = 0;
    const std::string text = "d1:ai1eeTRAILER";
    ASSERT_EQ(DecodeBencodePrefix(reinterpret_cast<const uint8_t*>(text.data()), text.size(), &v, &used),
              BencodeError::kNone);
    EXPECT_EQ(used, 8u);
}

TEST(Bencode, EveryErrorHasAName) {
    for (int e = int(BencodeError::kNone); e <= int(BencodeError::kTrailingBytes); ++e)
        EXPECT_NE(BencodeErrorName(BencodeError(e)), nullptr);
}

}  // namespace
