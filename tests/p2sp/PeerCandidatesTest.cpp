// Which addresses a swarm dials: never one no peer can have (unless tests
// allow loopback), each again only after a wait that grows with its
// failures, forgotten after a few, in a bounded table.
#include "p2sp/swarm/PeerCandidates.h"

#include <gtest/gtest.h>

namespace {

PeerAddress At(uint32_t ip, uint16_t port) {
    PeerAddress a;
    a.ipv4 = ip;
    a.port = port;
    return a;
}

TEST(PeerCandidates, OnlyAddressesAPeerCanHave) {
    struct Case {
        uint32_t ip;
        uint16_t port;
        bool usable, withLoopback;
    } cases[] = {
        {0xC6120001, 6881, true, true},    // 198.18.0.1
        {0x0A000001, 51413, true, true},   // 10.0.0.1: another player on the same network
        {0xC6120001, 0, false, false},     // port 0
        {0x00000000, 6881, false, false},  // unspecified
        {0x00FFFFFF, 6881, false, false},  // 0.0.0.0/8
        {0x7F000001, 6881, false, true},   // loopback
        {0x7F0000FE, 6881, false, true},
        {0xE0000001, 6881, false, false},  // multicast
        {0xEFFFFFFA, 1900, false, false},
        {0xF0000001, 6881, false, false},  // reserved
        {0xFFFFFFFF, 6881, false, false},  // broadcast
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PeerAddressUsable(At(c.ip, c.port), false), c.usable) << std::hex << c.ip << ":" << c.port;
        EXPECT_EQ(PeerAddressUsable(At(c.ip, c.port), true), c.withLoopback) << std::hex << c.ip;
    }
}

TEST(PeerCandidates, FailuresWaitLongerEachTimeAndThenTheAddressIsForgotten) {
    PeerCandidates table;
    const PeerAddress a = At(0x0A000001, 6881);
    ASSERT_TRUE(table.Add(a));
    EXPECT_FALSE(table.Add(At(0x7F000001, 6881)));
    const auto none = [](const PeerAddress&) { return false; };
    uint64_t now = 1000;
    ASSERT_EQ(table.Due(now, 10, none).size(), 1u);
    EXPECT_TRUE(table.Due(now + 1, 10, none).empty()) << "dialled already";
    table.Failed(a);
    EXPECT_TRUE(table.Due(now + PeerCandidates::kRedialMs - 1, 10, none).empty());
    now += PeerCandidates::kRedialMs;
    ASSERT_EQ(table.Due(now, 10, none).size(), 1u);
    table.Failed(a);
    EXPECT_TRUE(table.Due(now + PeerCandidates::kRedialMs, 10, none).empty()) << "the wait doubled";
    now += 2 * PeerCandidates::kRedialMs;
    ASSERT_EQ(table.Due(now, 10, none).size(), 1u);
    table.Failed(a);
    EXPECT_FALSE(table.Knows(a)) << "forgotten after three failures";
    // A peer that answered is forgiven; skipped ones (connected, banned) wait.
    const PeerAddress b = At(0x0A000002, 6881);
    table.Add(b);
    EXPECT_TRUE(table.Due(now, 10, [&](const PeerAddress& x) { return x == b; }).empty());
    ASSERT_EQ(table.Due(now, 10, none).size(), 1u);
    table.Failed(b);
    table.Succeeded(b);
    EXPECT_EQ(table.Due(now + PeerCandidates::kRedialMs, 10, none).size(), 1u);
}

TEST(PeerCandidates, TheTableIsBounded) {
    PeerCandidates table;
    for (uint32_t i = 0; i < PeerCandidates::kMaxCandidates + 100; ++i) table.Add(At(0x0A000000 + i, 6881));
    EXPECT_EQ(table.Size(), PeerCandidates::kMaxCandidates);
    EXPECT_EQ(table.Due(1000, 8, [](const PeerAddress&) { return false; }).size(), 8u);
}

}  // namespace
