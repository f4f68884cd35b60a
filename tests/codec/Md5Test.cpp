// MD5 against the test suite of RFC 1321, and its block buffering.
#include "codec/Md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

std::string Md5Of(const std::string& text) {
    CMd5 md5;
    md5.Update(text.data(), text.size());
    uint8_t digest[CMd5::kDigestBytes];
    md5.Final(digest);
    return Md5Hex(digest);
}

TEST(Md5, Rfc1321TestSuite) {
    const struct {
        const char* text;
        const char* digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.digest, Md5Of(c.text)) << '"' << c.text << '"';
}

// Lengths where the padding needs one block or spills into a second one.
TEST(Md5, PaddingAtTheBlockEdges) {
    EXPECT_EQ("7707d6ae4e027c70eea2a935c2296f21", Md5Of(std::string(1000000, 'a')));
    EXPECT_EQ("ef1772b6dff9a122358552954ad0df65", Md5Of(std::string(55, 'a')));
    EXPECT_EQ("3b0c8ac703f828b04c6c197006d17218", Md5Of(std::string(56, 'a')));
    EXPECT_EQ("014842d480b571495a4a0363793f7367", Md5Of(std::string(64, 'a')));
}

TEST(Md5, PiecewiseUpdatesEqualOneUpdate) {
    std::string text;
    for (int i = 0; i < 1000; ++i) text += static_cast<char>(i * 7);
    const std::string whole = Md5Of(text);
    for (size_t piece : {1, 3, 63, 64, 65, 200}) {
        CMd5 md5;
        for (size_t at = 0; at < text.size(); at += piece) md5.Update(text.data() + at, std::min(piece, text.size() - at));
        uint8_t digest[CMd5::kDigestBytes];
        md5.Final(digest);
        EXPECT_EQ(whole, Md5Hex(digest)) << "pieces of " << piece;
        // Final starts the next message afresh.
        md5.Update("abc", 3);
        md5.Final(digest);
        EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", Md5Hex(digest));
    }
}

}  // namespace
