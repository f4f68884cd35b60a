// Which addresses a swarm dials: never one no peer can have (unless tests
// allow loopback), each again only after a wait that grows with its
// failures, forgotten after a few, in a bounded table.
#include "p2sp/swarm/DuplicateLink.h"
#include "p2sp/swarm/PeerCandidates.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

PeerAddress At(uint32_t ip, uint16_t port) { return PeerAddress::V4(ip, port); }

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
    const struct {
        const char* ip;
        bool usable, withLoopback;
    } v6[] = {
        {"2001:db8::1", true, true},
        {"2a02:8108:1:2::beef", true, true},
        {"fd00::5", true, true},            // unique local: a peer on the same network
        {"::", false, false},
        {"::1", false, true},
        {"::ffff:127.0.0.1", false, true},  // IPv4 in IPv6 clothes is judged as IPv4
        {"::ffff:224.0.0.1", false, false},
        {"::10.0.0.1", false, false},       // IPv4-compatible, deprecated
        {"ff02::1", false, false},          // multicast
        {"fe80::1", false, false},          // link-local: no scope to dial it in
        {"febf::1", false, false},
    };
    for (const auto& c : v6) {
        PeerAddress a;
        ASSERT_TRUE(ParseIpAddress(c.ip, &a.ip)) << c.ip;
        a.port = 6881;
        EXPECT_EQ(PeerAddressUsable(a, false), c.usable) << c.ip;
        EXPECT_EQ(PeerAddressUsable(a, true), c.withLoopback) << c.ip;
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

TEST(IpAddress, TextFormsAreReadAndWrittenShortest) {
    const struct {
        const char* text;
        const char* written;  // nullptr: not an address
    } cases[] = {
        {"198.18.0.1", "198.18.0.1"},
        {"2001:0db8:0000:0000:0000:0000:0000:0001", "2001:db8::1"},
        {"2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1"},  // the first of two equal runs
        {"::", "::"},
        {"::1", "::1"},
        {"fe80::", "fe80::"},
        {"1:2:3:4:5:6:7:8", "1:2:3:4:5:6:7:8"},
        {"1:0:3:4:5:6:7:8", "1:0:3:4:5:6:7:8"},         // a single zero group stays
        {"::ffff:198.18.0.1", "198.18.0.1"},             // mapped IPv4 is IPv4
        {"64:ff9b::1.2.3.4", "64:ff9b::102:304"},
        {"1:2:3:4:5:6:7:8:9", nullptr},
        {"1:2:3:4:5:6:7::8", nullptr},                   // "::" must stand for a group
        {"1::2::3", nullptr},
        {":1::", nullptr},
        {"1:", nullptr},
        {"12345::", nullptr},
        {"::g", nullptr},
        {"[::1]", nullptr},
        {"fe80::1%eth0", nullptr},
        {"1.2.3", nullptr},
        {"::1.2.3.4.5", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        IpAddress a;
        const bool read = ParseIpAddress(c.text, &a);
        EXPECT_EQ(c.written != nullptr, read) << c.text;
        if (read) {
            EXPECT_EQ(c.written, IpAddressText(a)) << c.text;
        }
    }
    EXPECT_EQ(0xC6120001u, IpAddress::V4(0xC6120001u).V4Value());
}

// Two players dial each other at once: whichever handshake each end sees
// first, both ends keep the same connection.
TEST(DuplicateLink, BothEndsKeepTheSameConnection) {
    uint8_t low[20], high[20];
    std::memset(low, 'a', 20);
    std::memset(high, 'a', 20);
    high[19] = 'b';
    // Connection 0 is dialled by the low end, 1 by the high end. At each
    // end: which completes first, and which one is kept.
    for (int lowFirst = 0; lowFirst < 2; ++lowFirst) {
        for (int highFirst = 0; highFirst < 2; ++highFirst) {
            const auto kept = [](int first, const uint8_t* ours, const uint8_t* theirs, int ourDial) {
                const int second = 1 - first;
                return KeepNewerLink(second == ourDial, first == ourDial, ours, theirs) ? second : first;
            };
            EXPECT_EQ(0, kept(lowFirst, low, high, 0)) << lowFirst << highFirst;
            EXPECT_EQ(0, kept(highFirst, high, low, 1)) << lowFirst << highFirst;
        }
    }
    EXPECT_FALSE(KeepNewerLink(false, false, low, high)) << "a peer that came again keeps its first";
    EXPECT_FALSE(KeepNewerLink(true, true, high, low));
}
