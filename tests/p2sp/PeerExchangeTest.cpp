// Peer exchange: what we tell a peer and what we take from one, bounded.
#include "p2sp/swarm/HolePunch.h"
#include "p2sp/swarm/PeerExchange.h"
#include "p2sp/swarm/PeerWire.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

PeerAddress At(uint32_t ipv4, uint16_t port) { return PeerAddress::V4(ipv4, port); }

}  // namespace

TEST(PeerExchange, HandshakesSayWhereToSendPexAndWhereThePeerListens) {
    const std::vector<uint8_t> ours = ExtendedHandshakePayload(6881);
    EXPECT_EQ("d1:md6:ut_pexi1ee1:pi6881e1:v9:QelvoP2SPe", std::string(ours.begin(), ours.end()));
    ExtendedHandshake h;
    ASSERT_TRUE(ParseExtendedHandshake(ours.data(), ours.size(), &h));
    EXPECT_EQ(kOurPexId, h.pexId);
    EXPECT_EQ(6881, h.listenPort);
    struct Case {
        const char* text;
        bool ok;
        uint8_t pexId;
        uint16_t port;
    } cases[] = {
        {"d1:md11:ut_metadatai3e6:ut_pexi7ee1:pi51413ee", true, 7, 51413},
        {"d1:md6:ut_pexi0eee", true, 0, 0},            // 0 turns it off
        {"d1:md6:ut_pexi300ee1:pi70000ee", true, 0, 0},  // out of range: not used
        {"d1:md6:ut_pexi1eee", true, 1, 0},
        {"li1ee", false, 0, 0},
        {"d1:m", false, 0, 0},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> b = Bytes(c.text);
        ExtendedHandshake got;
        ASSERT_EQ(c.ok, ParseExtendedHandshake(b.data(), b.size(), &got)) << c.text;
        EXPECT_EQ(c.pexId, got.pexId) << c.text;
        EXPECT_EQ(c.port, got.listenPort) << c.text;
    }
}

TEST(PeerExchange, MessagesCarryAtMostFiftyPeersEachWay) {
    std::set<PeerAddress> now, told;
    for (uint32_t i = 0; i < 70; ++i) now.insert(At(0xC6120100u + i, 6881));
    std::vector<PeerAddress> added, dropped;
    PexDifference(now, &told, &added, &dropped);
    EXPECT_EQ(kMaxPexPeers, added.size());
    EXPECT_TRUE(dropped.empty());
    PexDifference(now, &told, &added, &dropped);
    EXPECT_EQ(20u, added.size()) << "the rest next time";
    now.erase(At(0xC6120100u, 6881));
    PexDifference(now, &told, &added, &dropped);
    EXPECT_TRUE(added.empty());
    ASSERT_EQ(1u, dropped.size());
    EXPECT_EQ(At(0xC6120100u, 6881), dropped[0]);

    std::vector<PeerAddress> many(60, At(0xC6120101u, 6881));
    const std::vector<uint8_t> message = PexPayload(many, {});
    std::vector<PeerAddress> taken;
    ASSERT_TRUE(ParsePex(message.data(), message.size(), &taken));
    EXPECT_EQ(kMaxPexPeers, taken.size()) << "no more are read";
    const std::vector<uint8_t> ragged = Bytes("d5:added5:abcdee");
    EXPECT_FALSE(ParsePex(ragged.data(), ragged.size(), &taken)) << "not whole addresses";
    const std::vector<uint8_t> huge(kMaxExtendedBytes + 1, 'x');
    EXPECT_FALSE(ParsePex(huge.data(), huge.size(), &taken));
}

// IPv6 peers go under their own keys, which IPv4-only clients skip; both
// families are read back, within one limit.
TEST(PeerExchange, Ipv6PeersTravelUnderTheirOwnKeys) {
    PeerAddress v6;
    ASSERT_TRUE(ParseIpAddress("2001:db8::1", &v6.ip));
    v6.port = 6881;
    const std::vector<uint8_t> message = PexPayload({At(0x7f000001u, 6882), v6}, {v6});
    const std::string sixteen("\x20\x01\x0d\xb8\0\0\0\0\0\0\0\0\0\0\0\x01\x1a\xe1", 18);
    EXPECT_EQ(std::string("d5:added6:\x7f\0\0\x01\x1a\xe2" "7:added.f1:\0" "6:added618:", 39) + sixteen +
                  std::string("8:added6.f1:\0" "7:dropped0:" "8:dropped618:", 37) + sixteen + "e",
              std::string(message.begin(), message.end()));
    std::vector<PeerAddress> taken;
    ASSERT_TRUE(ParsePex(message.data(), message.size(), &taken));
    ASSERT_EQ(2u, taken.size());
    EXPECT_EQ(At(0x7f000001u, 6882), taken[0]);
    EXPECT_EQ(v6, taken[1]);
    const std::vector<uint8_t> ragged = Bytes("d6:added66:abcdefe");
    EXPECT_FALSE(ParsePex(ragged.data(), ragged.size(), &taken));
}

// What a peer is said to be travels with it: uTP, introductions, reachable.
TEST(PeerExchange, FlagsTravelWithTheirPeers) {
    PeerAddress v6;
    ASSERT_TRUE(ParseIpAddress("2001:db8::1", &v6.ip));
    v6.port = 6881;
    const std::vector<uint8_t> message =
        PexPayload({At(0x0a000001u, 1), v6, At(0x0a000002u, 2)}, {}, {kPexUtp | kPexHolepunch, kPexSeed, kPexReachable});
    std::vector<PeerAddress> taken;
    std::vector<uint8_t> flags;
    ASSERT_TRUE(ParsePex(message.data(), message.size(), &taken, &flags));
    ASSERT_EQ(3u, flags.size());
    EXPECT_EQ((std::vector<uint8_t>{kPexUtp | kPexHolepunch, kPexReachable, kPexSeed}), flags) << "IPv4 first";
    const std::vector<uint8_t> short_ = Bytes("d5:added12:abcdefghijkl7:added.f1:\x04" "e");
    ASSERT_TRUE(ParsePex(short_.data(), short_.size(), &taken, &flags));
    EXPECT_EQ((std::vector<uint8_t>{kPexUtp, 0}), flags) << "missing flags are 0";
    const std::vector<uint8_t> ours = ExtendedHandshakePayload(6881, true);
    EXPECT_EQ("d1:md12:ut_holepunchi2e6:ut_pexi1ee1:pi6881e1:v9:QelvoP2SPe", std::string(ours.begin(), ours.end()));
    ExtendedHandshake h;
    ASSERT_TRUE(ParseExtendedHandshake(ours.data(), ours.size(), &h));
    EXPECT_EQ(kOurHolepunchId, h.holepunchId);
    EXPECT_FALSE(h.saidYourIp);
    const IpAddress seen = IpAddress::V4(0xC6120105u);
    const std::vector<uint8_t> told = ExtendedHandshakePayload(6881, false, &seen);
    ASSERT_TRUE(ParseExtendedHandshake(told.data(), told.size(), &h));
    EXPECT_TRUE(h.saidYourIp);
    EXPECT_EQ(seen, h.yourIp);
    const std::vector<uint8_t> odd = Bytes("d6:yourip3:abce");
    ASSERT_TRUE(ParseExtendedHandshake(odd.data(), odd.size(), &h));
    EXPECT_FALSE(h.saidYourIp) << "neither 4 nor 16 bytes";
}

TEST(HolePunch, MessagesAreReadOnlyWhenWhole) {
    HolePunchMessage m;
    m.type = HolePunchType::kConnect;
    m.endpoint = At(0xC6120105u, 6881);
    const std::vector<uint8_t> v4 = HolePunchPayload(m);
    EXPECT_EQ(std::string("\x01\x00\xc6\x12\x01\x05\x1a\xe1\0\0\0\0", 12), std::string(v4.begin(), v4.end()));
    m.type = HolePunchType::kError;
    ASSERT_TRUE(ParseIpAddress("2001:db8::5", &m.endpoint.ip));
    m.error = kPunchNotConnected;
    const std::vector<uint8_t> v6 = HolePunchPayload(m);
    ASSERT_EQ(24u, v6.size());
    HolePunchMessage back;
    ASSERT_TRUE(ParseHolePunch(v6.data(), v6.size(), &back));
    EXPECT_EQ(HolePunchType::kError, back.type);
    EXPECT_EQ(m.endpoint, back.endpoint);
    EXPECT_EQ(kPunchNotConnected, back.error);
    const std::string bad[] = {
        std::string("\x03\x00\x01\x02\x03\x04\x1a\xe1\0\0\0\0", 12),  // unknown type
        std::string("\x00\x02\x01\x02\x03\x04\x1a\xe1\0\0\0\0", 12),  // unknown family
        std::string("\x00\x01\x01\x02\x03\x04\x1a\xe1\0\0\0\0", 12),  // IPv6 too short
        std::string("\x00\x00\x01\x02\x03\x04\x1a\xe1\0\0\0", 11),     // cut short
        std::string("\x00\x00\x01\x02\x03\x04\x1a\xe1\0\0\0\0\0", 13),  // trailing byte
        std::string("\x00", 1),
    };
    for (const std::string& b : bad)
        EXPECT_FALSE(ParseHolePunch(reinterpret_cast<const uint8_t*>(b.data()), b.size(), &back)) << b.size();
    std::deque<uint64_t> recent;
    for (size_t i = 0; i < kMaxPunchesPerMinute; ++i) EXPECT_TRUE(TakePunch(&recent, 1000 + i));
    EXPECT_FALSE(TakePunch(&recent, 30000)) << "a minute holds so many";
    EXPECT_TRUE(TakePunch(&recent, 61000));
}

TEST(PeerExchange, ExtendedMessagesAreReadOnlyWhenOffered) {
    std::vector<uint8_t> wire;
    AppendExtended(kOurPexId, Bytes("de"), &wire);
    WireLimits limits;
    limits.pieceCount = 4;
    PeerMessage m;
    size_t used = 0;
    ASSERT_EQ(WireResult::kMessage, ParsePeerMessage(wire.data(), wire.size(), limits, &m, &used));
    EXPECT_EQ(PeerMessageType::kIgnored, m.type);
    limits.extensions = true;
    ASSERT_EQ(WireResult::kMessage, ParsePeerMessage(wire.data(), wire.size(), limits, &m, &used));
    EXPECT_EQ(PeerMessageType::kExtended, m.type);
    EXPECT_EQ(kOurPexId, m.index);
    EXPECT_EQ("de", std::string(m.payload, m.payload + m.payloadSize));
    EXPECT_EQ(wire.size(), used);
}
