// Who is banned for bad data: a peer that alone sent two bad pieces, and a
// peer whose block of a shared piece differs from the good copy, never an
// honest peer that shared the piece; by address and by id, so a new id or
// port does not get around it.
#include "p2sp/swarm/BlockBlame.h"
#include "p2sp/swarm/PeerBans.h"

#include <gtest/gtest.h>

namespace {

PeerKey Key(uint32_t ip, char id) { return PeerKey{IpAddress::V4(ip), std::string(20, id)}; }

IpAddress V6(const char* text) {
    IpAddress a;
    EXPECT_TRUE(ParseIpAddress(text, &a)) << text;
    return a;
}

BlockBlame::Digest D(uint8_t v) {
    BlockBlame::Digest d{};
    d.fill(v);
    return d;
}

TEST(PeerBans, TwoBadPiecesFromOneHostBanItsAddressAndItsId) {
    PeerBans bans;
    EXPECT_FALSE(bans.Strike(Key(0x0A000001, 'a')));
    // Back with a new id from the same host: the strikes add up.
    EXPECT_TRUE(bans.Strike(Key(0x0A000001, 'b')));
    EXPECT_TRUE(bans.Banned(IpAddress::V4(0x0A000001)));
    EXPECT_TRUE(bans.BannedId(std::string(20, 'b')));
    EXPECT_TRUE(bans.Banned(Key(0x0A000002, 'b'))) << "the id from another address";
    EXPECT_FALSE(bans.Banned(Key(0x0A000002, 'c')));
    EXPECT_EQ(bans.Count(), 1u);
}

// An IPv6 home line is handed a whole /64: another address in it is the
// same host, one outside it is not.
TEST(PeerBans, AnIpv6BanHoldsForItsWholeSlash64) {
    PeerBans bans;
    bans.Ban(PeerKey{V6("2001:db8:1:2::10"), std::string(20, 'x')});
    EXPECT_TRUE(bans.Banned(V6("2001:db8:1:2:ffff::1")));
    EXPECT_FALSE(bans.Banned(V6("2001:db8:1:3::10")));
}

TEST(BlockBlame, TheSenderOfTheBadBlockIsNamedNotTheHonestOnes) {
    BlockBlame blame;
    const PeerKey honest = Key(1, 'h'), liar = Key(2, 'l');
    // A piece of four blocks: the liar sent block 2, with other bytes.
    blame.Failed(9, {{0, honest, D(0)}, {1, honest, D(1)}, {2, liar, D(0xEE)}, {3, honest, D(3)}});
    EXPECT_TRUE(blame.Suspect(9));
    const std::vector<PeerKey> guilty = blame.Verified(9, {D(0), D(1), D(2), D(3)});
    ASSERT_EQ(guilty.size(), 1u);
    EXPECT_EQ(guilty[0], liar);
    EXPECT_FALSE(blame.Suspect(9));
    EXPECT_TRUE(blame.Verified(9, {D(0), D(1), D(2), D(3)}).empty()) << "forgotten once judged";
}

TEST(BlockBlame, KeptPiecesAreBounded) {
    BlockBlame blame;
    for (uint32_t piece = 0; piece < BlockBlame::kMaxPieces + 5; ++piece) blame.Failed(piece, {{0, Key(1, 'x'), D(1)}});
    EXPECT_FALSE(blame.Suspect(0)) << "the oldest made room";
    EXPECT_TRUE(blame.Suspect(BlockBlame::kMaxPieces + 4));
}

}  // namespace
