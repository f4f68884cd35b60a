// UDP tracker packets: the bytes of the connect and announce requests, and
// which datagrams count as the answer to them.
#include "p2sp/swarm/UdpTrackerPacket.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<uint32_t> words) {
    std::vector<uint8_t> out;
    for (uint32_t w : words)
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(w >> shift));
    return out;
}

uint32_t Word(const std::vector<uint8_t>& b, size_t at) {
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
}

TEST(UdpTrackerUrl, HostAndPortOrRefused) {
    const struct {
        const char* url;
        bool ok;
        const char* host;
        uint16_t port;
    } cases[] = {
        {"udp://127.0.0.1:17260/announce", true, "127.0.0.1", 17260},
        {"udp://tracker.example:6969", true, "tracker.example", 6969},
        {"udp://tracker.example:65535/a/b", true, "tracker.example", 65535},
        {"udp://tracker.example/announce", false, "", 0},
        {"udp://tracker.example:0/announce", false, "", 0},
        {"udp://tracker.example:65536/", false, "", 0},
        {"udp://tracker.example:69a9/", false, "", 0},
        {"udp://:6969/", false, "", 0},
        {"udp://user@tracker.example:6969/", false, "", 0},
        {"http://127.0.0.1:17260/announce", false, "", 0},
        {"udp://tracker.example:", false, "", 0},
    };
    for (const auto& c : cases) {
        std::string host;
        uint16_t port = 0;
        EXPECT_EQ(c.ok, ParseUdpTrackerUrl(c.url, &host, &port)) << c.url;
        if (c.ok) {
            EXPECT_EQ(c.host, host) << c.url;
            EXPECT_EQ(c.port, port) << c.url;
        }
    }
}

TEST(UdpTrackerPacket, ConnectCarriesTheProtocolIdAndTransaction) {
    const std::vector<uint8_t> packet = BuildUdpConnect(0xA1B2C3D4);
    EXPECT_EQ(Bytes({0x417, 0x27101980, 0, 0xA1B2C3D4}), packet);
}

TEST(UdpTrackerPacket, AnnounceLaysOutEveryFieldBigEndian) {
    AnnounceParams p;
    for (int i = 0; i < 20; ++i) p.infoHash[i] = uint8_t(i + 1);
    for (int i = 0; i < 20; ++i) p.peerId[i] = uint8_t(0xA0 + i);
    p.downloaded = 0x0102030405060708ull;
    p.left = 25166601;
    p.uploaded = 7;
    p.key = 0xCAFEBABE;
    p.port = 17291;
    p.numWant = 50;
    const struct {
        AnnounceEvent event;
        uint32_t code;
    } events[] = {{AnnounceEvent::kNone, 0}, {AnnounceEvent::kCompleted, 1}, {AnnounceEvent::kStarted, 2},
                  {AnnounceEvent::kStopped, 3}};
    for (const auto& e : events) {
        p.event = e.event;
        const std::vector<uint8_t> b = BuildUdpAnnounce(0x1122334455667788ull, 99, p);
        ASSERT_EQ(kUdpAnnounceBytes, b.size());
        EXPECT_EQ(0x11223344u, Word(b, 0));
        EXPECT_EQ(0x55667788u, Word(b, 4));
        EXPECT_EQ(1u, Word(b, 8));  // announce
        EXPECT_EQ(99u, Word(b, 12));
        EXPECT_EQ(0, std::memcmp(b.data() + 16, p.infoHash, 20));
        EXPECT_EQ(0, std::memcmp(b.data() + 36, p.peerId, 20));
        EXPECT_EQ(0x01020304u, Word(b, 56));
        EXPECT_EQ(0x05060708u, Word(b, 60));
        EXPECT_EQ(25166601u, Word(b, 68));  // left, low word
        EXPECT_EQ(7u, Word(b, 76));         // uploaded, low word
        EXPECT_EQ(e.code, Word(b, 80));
        EXPECT_EQ(0u, Word(b, 84));  // our address: the datagram's
        EXPECT_EQ(0xCAFEBABEu, Word(b, 88));
        EXPECT_EQ(50u, Word(b, 92));
        EXPECT_EQ(17291, (b[96] << 8) | b[97]);
    }
    p.numWant = -5;
    EXPECT_EQ(0xFFFFFFFFu, Word(BuildUdpAnnounce(1, 2, p), 92)) << "below zero asks for the tracker's default";
}

TEST(UdpTrackerPacket, ConnectAnswersAreMatchedByTransactionAndAction) {
    uint64_t id = 0;
    std::string failure;
    std::vector<uint8_t> answer = Bytes({0, 42, 0x01020304, 0x05060708});
    EXPECT_EQ(UdpReply::kAnswer, ParseUdpConnectReply(answer.data(), answer.size(), 42, &id, &failure));
    EXPECT_EQ(0x0102030405060708ull, id);
    EXPECT_EQ(UdpReply::kOther, ParseUdpConnectReply(answer.data(), answer.size(), 43, &id, &failure))
        << "another transaction's answer";
    EXPECT_EQ(UdpReply::kOther, ParseUdpConnectReply(answer.data(), 15, 42, &id, &failure)) << "cut short";
    EXPECT_EQ(UdpReply::kOther, ParseUdpConnectReply(answer.data(), 3, 42, &id, &failure));
    std::vector<uint8_t> announce = Bytes({1, 42, 0, 0});
    EXPECT_EQ(UdpReply::kOther, ParseUdpConnectReply(announce.data(), announce.size(), 42, &id, &failure))
        << "another action";
    std::vector<uint8_t> error = Bytes({3, 42});
    const std::string text = "info hash not allowed";
    error.insert(error.end(), text.begin(), text.end());
    EXPECT_EQ(UdpReply::kRefused, ParseUdpConnectReply(error.data(), error.size(), 42, &id, &failure));
    EXPECT_EQ(text, failure);
    std::vector<uint8_t> bare = Bytes({3, 42});
    EXPECT_EQ(UdpReply::kRefused, ParseUdpConnectReply(bare.data(), bare.size(), 42, &id, &failure));
    EXPECT_FALSE(failure.empty()) << "a refusal without text still says so";
}

TEST(UdpTrackerPacket, AnnounceAnswersGivePeersAndFigures) {
    std::vector<uint8_t> b = Bytes({1, 7, 1800, 3, 5});
    const uint8_t peers[] = {127, 0, 0, 1, 0x43, 0x8B,   // 127.0.0.1:17291
                             127, 0, 0, 2, 0, 0,         // port 0: skipped
                             10, 0, 0, 9, 0x1A, 0xE1,    // 10.0.0.9:6881
                             1, 2, 3};                   // a partial entry is ignored
    b.insert(b.end(), std::begin(peers), std::end(peers));
    AnnounceReply reply;
    ASSERT_EQ(UdpReply::kAnswer, ParseUdpAnnounceReply(b.data(), b.size(), 7, &reply));
    EXPECT_EQ(1800, reply.interval);
    EXPECT_EQ(3, reply.leechers);
    EXPECT_EQ(5, reply.seeders);
    ASSERT_EQ(2u, reply.peers.size());
    EXPECT_EQ(IpAddress::V4(0x7F000001u), reply.peers[0].ip);
    EXPECT_EQ(17291, reply.peers[0].port);
    EXPECT_EQ(IpAddress::V4(0x0A000009u), reply.peers[1].ip);
    EXPECT_EQ(6881, reply.peers[1].port);
    EXPECT_EQ(UdpReply::kOther, ParseUdpAnnounceReply(b.data(), 19, 7, &reply)) << "shorter than the head";
    EXPECT_EQ(UdpReply::kOther, ParseUdpAnnounceReply(b.data(), b.size(), 8, &reply));

    std::vector<uint8_t> many = Bytes({1, 7, 60, 0, 0});
    for (size_t i = 0; i < kMaxAnnouncePeers + 50; ++i) {
        const uint8_t entry[] = {127, 0, uint8_t(i >> 8), uint8_t(i), 0x1A, 0xE1};
        many.insert(many.end(), std::begin(entry), std::end(entry));
    }
    ASSERT_EQ(UdpReply::kAnswer, ParseUdpAnnounceReply(many.data(), many.size(), 7, &reply));
    EXPECT_EQ(kMaxAnnouncePeers, reply.peers.size());

    std::vector<uint8_t> error = Bytes({3, 7});
    const std::string text = "unregistered torrent";
    error.insert(error.end(), text.begin(), text.end());
    ASSERT_EQ(UdpReply::kRefused, ParseUdpAnnounceReply(error.data(), error.size(), 7, &reply));
    EXPECT_EQ(text, reply.failure);
    EXPECT_TRUE(reply.peers.empty());
}

}  // namespace
