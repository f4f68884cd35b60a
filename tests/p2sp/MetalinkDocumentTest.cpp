// Metalink seed parsing: what a well-formed seed yields, and what is refused.
// Every case runs on each MSXML version the reader may use: a fallback
// parser with laxer defaults must refuse the same documents.
#include "p2sp/metalink/MetalinkDocument.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const wchar_t* const kParsers[] = {L"Msxml2.DOMDocument.6.0", L"Msxml2.DOMDocument.3.0"};

const char kHead[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

// A document for a.bin with `size` as the text of <size> and `pieceLength`
// as the length of its two pieces; `prolog` goes between the declaration and
// the root, `url` is the mirror's text.
std::string Document(const std::string& size, const std::string& pieceLength = "262144",
                     const std::string& prolog = "", const std::string& url = "http://127.0.0.1:17240/m/a.bin") {
    return std::string(kHead) + prolog +
           "<metalink xmlns=\"urn:ietf:params:xml:ns:metalink\">\n"
           "  <file name=\"a.bin\"><size>" + size + "</size>\n"
           "    <hash type=\"sha-256\">" + std::string(64, 'a') + "</hash>\n"
           "    <pieces length=\"" + pieceLength + "\" type=\"sha-256\"><hash>" + std::string(64, 'b') +
           "</hash><hash>" + std::string(64, 'c') + "</hash></pieces>\n"
           "    <url priority=\"1\">" + url + "</url></file>\n"
           "</metalink>\n";
}

class MetalinkDocument : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(MetalinkDocument, SoundDocumentIsRead) {
    PieceTable table;
    ASSERT_TRUE(ParseMetalinkDocumentWith(GetParam(), Document("300000"), L"A.BIN", L"", &table));
    EXPECT_EQ(table.size, 300000u);
    EXPECT_EQ(table.hashType, "sha-256");
    EXPECT_EQ(table.pieceLength, 262144u);
    EXPECT_EQ(table.pieceHashes.size(), 2u);
    ASSERT_EQ(table.mirrors.size(), 1u);
    EXPECT_EQ(table.mirrors[0], L"http://127.0.0.1:17240/m/a.bin");
    // The largest size a seed may give.
    EXPECT_TRUE(ParseMetalinkDocumentWith(GetParam(), Document("9223372036854775807", "4611686018427387904"),
                                          L"a.bin", L"", &table));
    EXPECT_EQ(table.size, 9223372036854775807u);
}

// A DTD can define entities that expand without bound or name files and
// URLs for the parser to read; a seed needs none, so none is read at all.
TEST_P(MetalinkDocument, DocumentTypeDeclarationsAreRefused) {
    const struct {
        const char* fault;
        std::string document;
    } cases[] = {
        {"internal entity", Document("&s;", "262144", "<!DOCTYPE metalink [<!ENTITY s \"300000\">]>\n")},
        {"nested entities",
         Document("300000", "262144",
                  "<!DOCTYPE metalink [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
                  "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\">]>\n",
                  "http://127.0.0.1:17240/&c;")},
        {"external entity",
         Document("300000", "262144", "<!DOCTYPE metalink [<!ENTITY x SYSTEM \"file:///C:/windows/win.ini\">]>\n",
                  "http://127.0.0.1:17240/&x;")},
        {"external subset", Document("300000", "262144", "<!DOCTYPE metalink SYSTEM \"http://127.0.0.1:17259/m.dtd\">\n")},
        {"after a byte order mark",
         "\xEF\xBB\xBF" + Document("&s;", "262144", "<!DOCTYPE metalink [<!ENTITY s \"300000\">]>\n")},
    };
    for (const auto& c : cases) {
        PieceTable table;
        EXPECT_FALSE(ParseMetalinkDocumentWith(GetParam(), c.document, L"a.bin", L"", &table)) << c.fault;
    }
}

TEST_P(MetalinkDocument, SizesThatAreNotPlainDecimalsAreRefused) {
    for (const char* size : {"-1", "-300000", "+300000", "0x100000", "1e6", "18446744073709551615",
                             "18446744073709551616", "99999999999999999999999", "9223372036854775808", "3 00000",
                             "", "0"}) {
        PieceTable table;
        EXPECT_FALSE(ParseMetalinkDocumentWith(GetParam(), Document(size), L"a.bin", L"", &table)) << size;
    }
}

TEST_P(MetalinkDocument, PieceLengthsThatAreNotPlainDecimalsDropThePieces) {
    for (const char* length : {"-262144", "18446744073709289472", "18446744073709551616", "9223372036854775808",
                               "+262144", "0"}) {
        PieceTable table;
        ASSERT_TRUE(ParseMetalinkDocumentWith(GetParam(), Document("300000", length), L"a.bin", L"", &table))
            << length;
        EXPECT_EQ(table.pieceLength, 0u) << length;
        EXPECT_FALSE(table.HasPieces()) << length;
    }
}

TEST_P(MetalinkDocument, DocumentsOtherThanUtf8AreRefused) {
    const std::string utf8 = Document("300000");
    std::string utf16 = "\xFF\xFE";
    for (char c : utf8) {
        utf16 += c;
        utf16 += '\0';
    }
    std::string invalid = utf8;
    invalid.insert(invalid.find("a.bin"), "\xC0\xAF");
    PieceTable table;
    EXPECT_FALSE(ParseMetalinkDocumentWith(GetParam(), utf16, L"a.bin", L"", &table));
    EXPECT_FALSE(ParseMetalinkDocumentWith(GetParam(), invalid, L"a.bin", L"", &table));
}

INSTANTIATE_TEST_SUITE_P(Parsers, MetalinkDocument, ::testing::ValuesIn(kParsers));

TEST(MetalinkDocumentDefault, ReadsWithThePreferredParser) {
    PieceTable table;
    ASSERT_TRUE(ParseMetalinkDocument(Document("300000"), L"other.bin", L"a.bin", &table));
    EXPECT_EQ(table.size, 300000u);
    EXPECT_FALSE(ParseMetalinkDocument(Document("&s;", "262144", "<!DOCTYPE metalink [<!ENTITY s \"300000\">]>\n"),
                                       L"a.bin", L"", &table));
}

}  // namespace
