// Tracker announces: the query carries the binary hash and id
// percent-encoded and every figure the tracker needs; answers give peers
// (compact or dictionary form), the interval, or the failure reason.
#include "p2sp/swarm/TrackerAnnounce.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

bool Parse(const std::string& text, AnnounceReply* reply) {
    return ParseAnnounceReply(reinterpret_cast<const uint8_t*>(text.data()), text.size(), reply);
}

AnnounceParams Sample() {
    AnnounceParams p;
    for (int i = 0; i < 20; ++i) p.infoHash[i] = uint8_t(i * 13);
    const char id[] = "-VO0001-abcdefghijkl";
    for (int i = 0; i < 20; ++i) p.peerId[i] = uint8_t(id[i]);
    p.port = 6881;
    p.uploaded = 1;
    p.downloaded = 2;
    p.left = 12345678901ULL;
    p.key = 77;
    return p;
}

// Trackers read the query as bytes: a space byte is %20 (a "+" would be taken
// as itself and the info hash would name another torrent), and "+", "&", "="
// and "%" are escaped too.
TEST(TrackerAnnounce, SpaceAndSeparatorBytesAreEscapedNotPlus) {
    const uint8_t bytes[] = {0x20, '+', '&', '=', '%', '~', '-', '.', '_', 'a', 'Z', '0'};
    EXPECT_EQ("%20%2B%26%3D%25~-._aZ0", PercentEncodeBytes(bytes, sizeof(bytes)));
}

TEST(TrackerAnnounce, QueryCarriesEveryFieldPercentEncoded) {
    AnnounceParams p = Sample();
    p.event = AnnounceEvent::kStarted;
    std::string url = BuildAnnounceUrl("http://127.0.0.1:6969/announce", p);
    EXPECT_EQ(url,
              "http://127.0.0.1:6969/announce?info_hash=%00%0D%1A%274AN%5Bhu%82%8F%9C%A9%B6%C3%D0%DD%EA%F7"
              "&peer_id=-VO0001-abcdefghijkl&port=6881&uploaded=1&downloaded=2&left=12345678901"
              "&compact=1&no_peer_id=1&numwant=50&key=77&event=started");
}

TEST(TrackerAnnounce, EachEventIsNamedAndARegularAnnounceHasNone) {
    struct Case {
        AnnounceEvent event;
        const char* tail;
    } cases[] = {
        {AnnounceEvent::kStarted, "&event=started"},
        {AnnounceEvent::kCompleted, "&event=completed"},
        {AnnounceEvent::kStopped, "&event=stopped"},
        {AnnounceEvent::kNone, "&key=77"},
    };
    for (const Case& c : cases) {
        AnnounceParams p = Sample();
        p.event = c.event;
        std::string url = BuildAnnounceUrl("http://t/a", p);
        EXPECT_EQ(url.substr(url.size() - strlen(c.tail)), c.tail);
    }
}

TEST(TrackerAnnounce, AnAnnounceUrlWithAQueryGetsAnAmpersand) {
    std::string url = BuildAnnounceUrl("http://t/a?passkey=xyz", Sample());
    EXPECT_EQ(url.find("http://t/a?passkey=xyz&info_hash="), 0u);
}

TEST(TrackerAnnounce, CompactPeersAreReadInNetworkOrder) {
    const std::string peers("\x7f\x00\x00\x01\x1a\xe1" "\x7f\x00\x00\x02\x00\x00" "\x0a\x01\x02\x03\xc8\xd5", 18);
    AnnounceReply reply;
    ASSERT_TRUE(Parse("d8:completei3e10:incompletei1e8:intervali1800e12:min intervali60e5:peers18:" + peers + "e",
                      &reply));
    EXPECT_EQ(reply.interval, 1800);
    EXPECT_EQ(reply.minInterval, 60);
    EXPECT_EQ(reply.seeders, 3);
    EXPECT_EQ(reply.leechers, 1);
    ASSERT_EQ(reply.peers.size(), 2u);  // the one with port 0 is skipped
    EXPECT_EQ(reply.peers[0].ip, IpAddress::V4(0x7f000001u));
    EXPECT_EQ(reply.peers[0].port, 6881);
    EXPECT_EQ(reply.peers[1].ip, IpAddress::V4(0x0a010203u));
    EXPECT_EQ(reply.peers[1].port, 51413);
}

TEST(TrackerAnnounce, DictionaryPeersAreReadAndOddOnesSkipped) {
    AnnounceReply reply;
    ASSERT_TRUE(Parse("d8:intervali900e5:peersl"
                      "d2:ip9:127.0.0.14:porti7000ee"
                      "d2:ip11:example.org4:porti7000ee"
                      "d2:ip3:::14:porti7000ee"
                      "d2:ip9:127.0.0.14:porti70000ee"
                      "d2:ip13:127.0.0.256.14:porti1ee"
                      "d2:ip11:2001:db8::74:porti7001ee"
                      "d2:ip9:[2001::1]4:porti7000ee"
                      "d2:ip8:1:2:3:4:4:porti7000ee"
                      "i5e"
                      "ee",
                      &reply));
    ASSERT_EQ(reply.peers.size(), 3u);
    EXPECT_EQ(reply.peers[0].ip, IpAddress::V4(0x7f000001u));
    EXPECT_EQ(reply.peers[0].port, 7000);
    EXPECT_EQ(IpAddressText(reply.peers[1].ip), "::1");  // read; the dialler judges it
    EXPECT_EQ(IpAddressText(reply.peers[2].ip), "2001:db8::7");
    EXPECT_EQ(reply.peers[2].port, 7001);
}

TEST(TrackerAnnounce, CompactIpv6PeersAreReadBesideIpv4Ones) {
    const std::string v6("\x20\x01\x0d\xb8\0\0\0\0\0\0\0\0\0\0\0\x01\x1a\xe1", 18);
    AnnounceReply reply;
    ASSERT_TRUE(Parse(std::string("d8:intervali60e5:peers6:\x7f\0\0\x01\x1a\xe2", 30) + "6:peers618:" + v6 + "e",
                      &reply));
    ASSERT_EQ(reply.peers.size(), 2u);
    EXPECT_EQ(IpAddressText(reply.peers[0].ip), "2001:db8::1");
    EXPECT_EQ(reply.peers[0].port, 6881);
    EXPECT_EQ(reply.peers[1].ip, IpAddress::V4(0x7f000001u));
    // However long either list, IPv6 peers take at most half the places.
    std::string many4, many6;
    for (int i = 0; i < 300; ++i) many4 += std::string("\x7f\0\0\x01\x1a\xe1", 6), many6 += v6;
    ASSERT_TRUE(Parse("d8:intervali60e5:peers1800:" + many4 + "6:peers65400:" + many6 + "e", &reply));
    EXPECT_EQ(reply.peers.size(), kMaxAnnouncePeers);
    EXPECT_FALSE(reply.peers[kMaxAnnouncePeers / 2].ip == reply.peers[0].ip);
}

TEST(TrackerAnnounce, AFailureReasonIsReported) {
    AnnounceReply reply;
    ASSERT_TRUE(Parse("d14:failure reason19:torrent not allowede", &reply));
    EXPECT_EQ(reply.failure, "torrent not allowed");
    EXPECT_TRUE(reply.peers.empty());
}

TEST(TrackerAnnounce, UnusableAnswersAreRefused) {
    const char* cases[] = {
        "",
        "<html>502 Bad Gateway</html>",
        "d5:peers0:e",                // no interval
        "d8:intervali0e5:peers0:e",   // no sensible interval
        "d8:intervali-5e5:peers0:e",
        "d14:failure reasoni5ee",
        "l8:intervali5ee",
        "d8:intervali5e",             // cut short
    };
    for (const char* c : cases) {
        AnnounceReply reply;
        EXPECT_FALSE(Parse(c, &reply)) << c;
    }
}

TEST(TrackerAnnounce, AHugePeerListIsCutToTheLimit) {
    std::string peers;
    for (int i = 0; i < 1000; ++i) peers += std::string("\x7f\x00\x00\x01\x1a\xe1", 6);
    AnnounceReply reply;
    ASSERT_TRUE(Parse("d8:intervali60e5:peers" + std::to_string(peers.size()) + ":" + peers + "e", &reply));
    EXPECT_EQ(reply.peers.size(), kMaxAnnouncePeers);
}

}  // namespace
