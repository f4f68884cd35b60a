// Peer wire framing: every message kind round-trips through its encoder and
// the parser, partial input waits for more, and what a sound peer never
// sends (wrong lengths, indexes out of range, oversized blocks, Fast
// messages not agreed on) is refused.
#include "p2sp/swarm/PeerWire.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

WireLimits Limits(size_t pieces, bool fast = false) {
    WireLimits l;
    l.pieceCount = pieces;
    l.fast = fast;
    return l;
}

WireResult ParseAll(const std::vector<uint8_t>& bytes, const WireLimits& limits, PeerMessage* m) {
    size_t used = 0;
    WireResult r = ParsePeerMessage(bytes.data(), bytes.size(), limits, m, &used);
    if (r == WireResult::kMessage) {
        EXPECT_EQ(used, bytes.size());
    }
    return r;
}

TEST(PeerWire, HandshakeRoundTripsAndRefusesAnotherProtocol) {
    Handshake h;
    for (int i = 0; i < 20; ++i) {
        h.infoHash[i] = uint8_t(i);
        h.peerId[i] = uint8_t(100 + i);
    }
    h.reserved[7] = 0x04;
    uint8_t bytes[kHandshakeBytes];
    EncodeHandshake(h, bytes);
    EXPECT_EQ(bytes[0], 19);
    EXPECT_EQ(std::memcmp(bytes + 1, "BitTorrent protocol", 19), 0);
    Handshake back;
    ASSERT_TRUE(DecodeHandshake(bytes, &back));
    EXPECT_TRUE(back.Fast());
    EXPECT_EQ(std::memcmp(back.infoHash, h.infoHash, 20), 0);
    EXPECT_EQ(std::memcmp(back.peerId, h.peerId, 20), 0);
    bytes[5] = 'X';
    EXPECT_FALSE(DecodeHandshake(bytes, &back));
    bytes[0] = 18;
    EXPECT_FALSE(DecodeHandshake(bytes, &back));
}

TEST(PeerWire, EveryMessageRoundTrips) {
    std::vector<uint8_t> b;
    PeerMessage m;
    for (PeerMessageType t : {PeerMessageType::kChoke, PeerMessageType::kUnchoke, PeerMessageType::kInterested,
                              PeerMessageType::kNotInterested}) {
        b.clear();
        AppendSimple(t, &b);
        ASSERT_EQ(ParseAll(b, Limits(10), &m), WireResult::kMessage);
        EXPECT_EQ(m.type, t);
    }
    b.clear();
    AppendKeepAlive(&b);
    ASSERT_EQ(ParseAll(b, Limits(10), &m), WireResult::kMessage);
    EXPECT_EQ(m.type, PeerMessageType::kKeepAlive);

    b.clear();
    AppendHave(9, &b);
    ASSERT_EQ(ParseAll(b, Limits(10), &m), WireResult::kMessage);
    EXPECT_EQ(m.index, 9u);

    Bitfield have(10);
    have.Set(0);
    have.Set(9);
    b.clear();
    AppendBitfield(have, &b);
    ASSERT_EQ(ParseAll(b, Limits(10), &m), WireResult::kMessage);
    Bitfield back;
    ASSERT_TRUE(back.FromWire(m.payload, m.payloadSize, 10));
    EXPECT_TRUE(back.Get(0) && back.Get(9) && !back.Get(1));
    EXPECT_EQ(back.Count(), 2u);

    for (PeerMessageType t : {PeerMessageType::kRequest, PeerMessageType::kCancel}) {
        b.clear();
        AppendBlockMessage(t, 3, 16384, 16384, &b);
        ASSERT_EQ(ParseAll(b, Limits(10), &m), WireResult::kMessage);
        EXPECT_EQ(m.type, t);
        EXPECT_EQ(m.index, 3u);
        EXPECT_EQ(m.begin, 16384u);
        EXPECT_EQ(m.length, 16384u);
    }

    std::vector<uint8_t> block(kBlockBytes, 0xab);
    b.clear();
    AppendPiece(2, 32768, block.data(), kBlockBytes, &b);
    ASSERT_EQ(ParseAll(b, Limits(10), &m), WireResult::kMessage);
    EXPECT_EQ(m.type, PeerMessageType::kPiece);
    EXPECT_EQ(m.index, 2u);
    EXPECT_EQ(m.begin, 32768u);
    EXPECT_EQ(m.payloadSize, kBlockBytes);
    EXPECT_EQ(m.payload[0], 0xab);
}

TEST(PeerWire, PartialInputWaitsForMore) {
    std::vector<uint8_t> b;
    AppendBlockMessage(PeerMessageType::kRequest, 1, 0, 100, &b);
    for (size_t n = 0; n < b.size(); ++n) {
        PeerMessage m;
        size_t used = 0;
        EXPECT_EQ(ParsePeerMessage(b.data(), n, Limits(10), &m, &used), WireResult::kNeedMore) << n;
    }
}

TEST(PeerWire, TwoMessagesInOneBufferAreReadOneAtATime) {
    std::vector<uint8_t> b;
    AppendHave(1, &b);
    AppendSimple(PeerMessageType::kUnchoke, &b);
    PeerMessage m;
    size_t used = 0;
    ASSERT_EQ(ParsePeerMessage(b.data(), b.size(), Limits(10), &m, &used), WireResult::kMessage);
    EXPECT_EQ(used, 9u);
    ASSERT_EQ(ParsePeerMessage(b.data() + used, b.size() - used, Limits(10), &m, &used), WireResult::kMessage);
    EXPECT_EQ(m.type, PeerMessageType::kUnchoke);
}

std::vector<uint8_t> Raw(uint32_t length, std::vector<uint8_t> body) {
    std::vector<uint8_t> b;
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(uint8_t(length >> shift));
    for (uint8_t c : body) b.push_back(c);
    return b;
}

TEST(PeerWire, WhatASoundPeerNeverSendsIsRefused) {
    std::vector<uint8_t> piece;
    std::vector<uint8_t> big(kBlockBytes + 1, 0);
    AppendPiece(0, 0, big.data(), uint32_t(big.size()), &piece);
    std::vector<uint8_t> request, farRequest, zeroRequest, outOfRange, have;
    AppendBlockMessage(PeerMessageType::kRequest, 0, 0, kBlockBytes + 1, &request);
    AppendBlockMessage(PeerMessageType::kRequest, 0, 0xffffc000u, kBlockBytes + 0, &farRequest);
    AppendBlockMessage(PeerMessageType::kRequest, 0, 0, 0, &zeroRequest);
    AppendBlockMessage(PeerMessageType::kRequest, 10, 0, 16, &outOfRange);
    AppendHave(10, &have);
    std::vector<uint8_t> spareBits = Raw(3, {5, 0xff, 0xc1});  // 10 pieces: the low 6 bits must be 0
    const std::vector<uint8_t> cases[] = {
        piece,
        request,
        zeroRequest,
        outOfRange,
        have,
        Raw(2, {0, 0}),                    // choke with a body
        Raw(3, {4, 0, 0}),                 // have too short
        Raw(2, {5, 0xff}),                 // bitfield too short for 10 pieces
        Raw(4, {5, 0xff, 0xc0, 0}),        // ... too long
        Raw(9, {7, 0, 0, 0, 0, 0, 0, 0, 0}),  // piece without data
        Raw(1, {14}),                      // have all without the Fast extension
        Raw(0x7fffffff, {7}),              // a length no message may have
        Raw(kMaxMessageBytes + 1, {20}),   // an unknown extension, oversized
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        PeerMessage m;
        size_t used = 0;
        EXPECT_EQ(ParsePeerMessage(cases[i].data(), cases[i].size(), Limits(10), &m, &used), WireResult::kMalformed)
            << "case " << i;
    }
    // A block reaching to the end of a 4 GiB piece is sound arithmetic.
    PeerMessage m;
    EXPECT_EQ(ParseAll(farRequest, Limits(10), &m), WireResult::kMessage);
    Bitfield bits;
    EXPECT_FALSE(bits.FromWire(spareBits.data() + 5, 2, 10));
}

TEST(PeerWire, FastMessagesAreReadOnceAgreedOn) {
    PeerMessage m;
    ASSERT_EQ(ParseAll(Raw(1, {14}), Limits(10, true), &m), WireResult::kMessage);
    EXPECT_EQ(m.type, PeerMessageType::kHaveAll);
    std::vector<uint8_t> reject;
    AppendBlockMessage(PeerMessageType::kReject, 1, 0, 16384, &reject);
    ASSERT_EQ(ParseAll(reject, Limits(10, true), &m), WireResult::kMessage);
    EXPECT_EQ(m.type, PeerMessageType::kReject);
    EXPECT_EQ(ParseAll(reject, Limits(10, false), &m), WireResult::kMalformed);
}

TEST(PeerWire, UnofferedSmallExtensionsAndPortAreSkipped) {
    PeerMessage m;
    ASSERT_EQ(ParseAll(Raw(3, {9, 0x1a, 0xe1}), Limits(10), &m), WireResult::kMessage);
    EXPECT_EQ(m.type, PeerMessageType::kIgnored);
    ASSERT_EQ(ParseAll(Raw(4, {20, 0, 'd', 'e'}), Limits(10), &m), WireResult::kMessage);
    EXPECT_EQ(m.type, PeerMessageType::kIgnored);
}

TEST(PeerWire, ALargeTorrentsBitfieldIsAccepted) {
    const size_t pieces = 400000;  // longer than a block message
    Bitfield have(pieces);
    have.SetAll();
    std::vector<uint8_t> b;
    AppendBitfield(have, &b);
    PeerMessage m;
    ASSERT_EQ(ParseAll(b, Limits(pieces), &m), WireResult::kMessage);
    EXPECT_EQ(m.payloadSize, Bitfield::WireBytes(pieces));
    // The same length with another kind is refused at its first byte.
    b[4] = uint8_t(PeerMessageType::kPiece);
    size_t used = 0;
    EXPECT_EQ(ParsePeerMessage(b.data(), 5, Limits(pieces), &m, &used), WireResult::kMalformed);
}

}  // namespace
