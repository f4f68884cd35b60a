// uTP: the packet header, and two sockets talking over a simulated link (a
// fake clock, a queue per direction with a one-way delay and a rate, chosen
// losses and late packets). Everything is driven by the fake clock, so every
// figure below comes out the same on every run.
#include "p2sp/utp/UtpPacket.h"
#include "p2sp/utp/UtpRandom.h"
#include "p2sp/utp/UtpSocket.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using State = UtpSocket::State;

uint32_t g_firstSeq = 1000;
uint32_t FixedFirstSeq() { return g_firstSeq; }

// The acceptor's first sequence number is g_firstSeq while a test runs.
class UtpSocketTest : public ::testing::Test {
protected:
    void SetUp() override { SetUtpRandomSource(FixedFirstSeq); }
    void TearDown() override { SetUtpRandomSource(nullptr); }
};

// ---- the packet ---------------------------------------------------------------

std::vector<uint8_t> Hex(const std::string& hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

TEST(UtpPacket, EveryFieldRoundTripsBigEndian) {
    UtpHeader h;
    h.type = UtpType::kState;
    h.connectionId = 0xA1B2;
    h.timestampUs = 0x01020304;
    h.timestampDiffUs = 0xF0E0D0C0;
    h.windowSize = 0x00100000;
    h.seqNr = 0xFFFE;
    h.ackNr = 0x0102;
    h.sackBytes = 4;
    h.sack[0] = 0x05;
    h.sack[3] = 0x80;
    uint8_t out[kUtpMaxHeaderBytes];
    ASSERT_EQ(26u, WriteUtpHeader(h, out));
    EXPECT_EQ(Hex("2101a1b201020304f0e0d0c000100000fffe0102" "0004" "05000080"), std::vector<uint8_t>(out, out + 26));
    UtpHeader back;
    size_t offset = 0;
    ASSERT_TRUE(ParseUtpPacket(out, 26, &back, &offset));
    EXPECT_EQ(26u, offset);
    EXPECT_EQ(0, std::memcmp(&h, &back, sizeof h));
}

TEST(UtpPacket, BrokenPacketsAreRefusedAndUnknownExtensionsSkipped) {
    // The fields after the first two bytes: connection 0xa1b2, the clocks,
    // window 3, seq_nr 4, ack_nr 5.
    const std::string fields = "a1b2" "00000001" "00000002" "00000003" "0004" "0005";
    const struct {
        const char* what;
        std::string hex;
        bool ok;
        size_t payloadOffset;
        uint8_t sackBytes;
    } cases[] = {
        {"a bare header", "0100" + fields, true, 20, 0},
        {"one byte short", ("0100" + fields).substr(0, 38), false, 0, 0},
        {"version 2", "0200" + fields, false, 0, 0},
        {"type 5", "5100" + fields, false, 0, 0},
        {"payload after the header", "0100" + fields + "abcd", true, 20, 0},
        {"a selective ack", "0101" + fields + "0004ff000000", true, 26, 4},
        {"an unknown extension skipped, then a sack", "0102" + fields + "0108aaaaaaaaaaaaaaaa0004010000007788", true, 36, 4},
        {"a sack of 64 bytes cut to 32", "0101" + fields + "0040" + std::string(128, 'f'), true, 86, 32},
        {"an extension header past the end", "0101" + fields + "00", false, 0, 0},
        {"an extension body past the end", "0102" + fields + "0008aaaa", false, 0, 0},
        {"a chain naming one more past the end", "0102" + fields + "0200", false, 0, 0},
        {"a sack of 0 bytes", "0101" + fields + "0000", false, 0, 0},
        {"a sack of 5 bytes", "0101" + fields + "00050000000000", false, 0, 0},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> bytes = Hex(c.hex);
        UtpHeader h;
        size_t offset = 0;
        ASSERT_EQ(c.ok, ParseUtpPacket(bytes.data(), bytes.size(), &h, &offset)) << c.what;
        if (!c.ok) continue;
        EXPECT_EQ(c.payloadOffset, offset) << c.what;
        EXPECT_EQ(c.sackBytes, h.sackBytes) << c.what;
        EXPECT_EQ(5, h.ackNr) << c.what;
    }
}

// ---- the simulated link ---------------------------------------------------------

struct Seen {
    UtpHeader header;
    size_t payloadSize;
    uint64_t nowUs;
    bool firstSending;  // a data packet's seq not seen on this direction before
};

// One direction: a queue drained at `bytesPerSecond` (0: no limit), then
// `delayUs` on the way; `drop`, `lateUs` and `rewrite` pick packets to lose,
// hold back or change.
struct Direction {
    uint64_t delayUs = 10000;
    uint64_t bytesPerSecond = 0;
    std::function<bool(const Seen&)> drop;
    std::function<uint64_t(const Seen&)> lateUs;
    std::function<void(UtpHeader&)> rewrite;

    std::multimap<uint64_t, std::vector<uint8_t>> onTheWay;
    uint64_t busyUntilUs = 0;
    std::set<uint16_t> dataSeqs;
    std::map<uint16_t, uint64_t> droppedAt;
    uint64_t longestResendUs = 0;  // from a data packet's loss to its next sending
    size_t dataPackets = 0;
    std::vector<std::pair<uint64_t, uint64_t>> queueing;  // (sent at, waited in the queue) of data packets

    void Send(std::vector<uint8_t> bytes, uint64_t nowUs) {
        Seen seen{};
        size_t offset = 0;
        ASSERT_TRUE(ParseUtpPacket(bytes.data(), bytes.size(), &seen.header, &offset));
        seen.payloadSize = bytes.size() - offset;
        seen.nowUs = nowUs;
        const bool data = seen.header.type == UtpType::kData;
        if (data) {
            ++dataPackets;
            seen.firstSending = dataSeqs.insert(seen.header.seqNr).second;
            auto lost = droppedAt.find(seen.header.seqNr);
            if (lost != droppedAt.end()) {
                longestResendUs = std::max(longestResendUs, nowUs - lost->second);
                droppedAt.erase(lost);
            }
        }
        if (drop && drop(seen)) {
            if (data) droppedAt.emplace(seen.header.seqNr, nowUs);
            return;
        }
        if (rewrite) {
            rewrite(seen.header);
            WriteUtpHeader(seen.header, bytes.data());
        }
        uint64_t leavesUs = nowUs;
        if (bytesPerSecond != 0) {
            leavesUs = std::max(nowUs, busyUntilUs) + bytes.size() * 1000000 / bytesPerSecond;
            if (data) queueing.push_back({nowUs, std::max(nowUs, busyUntilUs) - nowUs});
            busyUntilUs = leavesUs;
        }
        onTheWay.emplace(leavesUs + delayUs + (lateUs ? lateUs(seen) : 0), std::move(bytes));
    }
};

uint8_t Pattern(uint64_t at, uint32_t seed) { return uint8_t(((at / 5 + seed) * 0x9E3779B97F4A7C15ull) >> 56 ^ at); }

// Bytes one way: written as the socket takes them, read and checked byte by
// byte as they come, without keeping them.
struct Flow {
    uint64_t total = 0;
    uint32_t seed = 0;
    bool reading = true;
    bool closeAfter = false;
    uint64_t written = 0;
    uint64_t received = 0;
    bool mismatch = false;

    void Write(UtpSocket& s, uint64_t nowUs) {
        uint8_t buffer[65536];
        while (written < total && s.WriteRoom() > 0) {
            const size_t n = size_t(std::min<uint64_t>(sizeof buffer, total - written));
            for (size_t i = 0; i < n; ++i) buffer[i] = Pattern(written + i, seed);
            const size_t taken = s.Write(buffer, n, nowUs);
            written += taken;
            if (taken < n) break;
        }
        if (closeAfter && written == total && s.Open()) s.Close(nowUs);
    }
    void Read(UtpSocket& s) {
        uint8_t buffer[65536];
        while (reading) {
            const size_t n = s.Read(buffer, sizeof buffer);
            if (n == 0) break;
            for (size_t i = 0; i < n; ++i) mismatch |= buffer[i] != Pattern(received + i, seed);
            received += n;
        }
    }
    bool Done() const { return received == total && !mismatch; }
};

class Sim {
public:
    Direction ab, ba;  // a is the dialler
    Flow toB, toA;
    uint64_t nowUs = 1000000;
    uint64_t clockOffsetB = 0;  // b's clock runs this far ahead of a's
    uint64_t steps = 0;
    std::unique_ptr<UtpSocket> a, b;

    uint64_t ClockA() const { return nowUs; }
    uint64_t ClockB() const { return nowUs + clockOffsetB; }

    bool Connect() {
        a = UtpSocket::Dial(0x4A11, ClockA());
        Drain();
        RunUntil([&] { return a->state() != UtpSocket::State::kSynSent && b; }, 5000000);
        return a->Open() && b && !b->Ended();
    }
    void Drain() {
        if (a) Move(a->Outbox(), ab);
        if (b) Move(b->Outbox(), ba);
    }
    // One millisecond: arrivals, the programs on both ends, a tick every 10 ms.
    void Step() {
        nowUs += 1000;
        Deliver(ab, true);
        Deliver(ba, false);
        if (a && b) {
            toB.Write(*a, ClockA());
            toB.Read(*b);
            toA.Write(*b, ClockB());
            toA.Read(*a);
        }
        if (++steps % 10 == 0) {
            if (a) a->Tick(ClockA());
            if (b) b->Tick(ClockB());
        }
        Drain();
    }
    template <class Done>
    bool RunUntil(Done done, uint64_t forUs) {
        const uint64_t end = nowUs + forUs;
        while (!done() && nowUs < end) Step();
        return done();
    }
    void Run(uint64_t forUs) {
        RunUntil([] { return false; }, forUs);
    }

private:
    void Move(std::deque<std::vector<uint8_t>>& outbox, Direction& d) {
        for (auto& datagram : outbox) d.Send(std::move(datagram), nowUs);
        outbox.clear();
    }
    void Deliver(Direction& d, bool toB) {
        while (!d.onTheWay.empty() && d.onTheWay.begin()->first <= nowUs) {
            const std::vector<uint8_t> bytes = std::move(d.onTheWay.begin()->second);
            d.onTheWay.erase(d.onTheWay.begin());
            UtpHeader h;
            size_t offset = 0;
            ASSERT_TRUE(ParseUtpPacket(bytes.data(), bytes.size(), &h, &offset));
            if (toB && !b && h.type == UtpType::kSyn) b = UtpSocket::Accept(h, ClockB());
            else if (toB && b) b->Receive(h, bytes.data() + offset, bytes.size() - offset, ClockB());
            else if (!toB) a->Receive(h, bytes.data() + offset, bytes.size() - offset, ClockA());
            Drain();
        }
    }
};

std::vector<UtpHeader> Headers(std::deque<std::vector<uint8_t>>& outbox) {
    std::vector<UtpHeader> out;
    for (const auto& datagram : outbox) {
        UtpHeader h;
        size_t offset = 0;
        if (ParseUtpPacket(datagram.data(), datagram.size(), &h, &offset)) out.push_back(h);
    }
    outbox.clear();
    return out;
}

// ---- set-up, transfer, faults -------------------------------------------------

TEST_F(UtpSocketTest, SetUpNumbersAsOtherClientsExpect) {
    g_firstSeq = 777;
    auto a = UtpSocket::Dial(0x1234, 1000);
    std::vector<UtpHeader> out = Headers(a->Outbox());
    ASSERT_EQ(1u, out.size());
    EXPECT_EQ(UtpType::kSyn, out[0].type);
    EXPECT_EQ(0x1234, out[0].connectionId);
    EXPECT_EQ(1, out[0].seqNr);

    auto b = UtpSocket::Accept(out[0], 5000);
    EXPECT_EQ(0x1235, b->ReceiveId());
    const UtpHeader state = Headers(b->Outbox()).at(0);
    EXPECT_EQ(UtpType::kState, state.type);
    EXPECT_EQ(0x1234, state.connectionId);
    EXPECT_EQ(1, state.ackNr);
    EXPECT_EQ(777, state.seqNr);

    a->Receive(state, nullptr, 0, 9000);
    ASSERT_TRUE(a->Open());
    const uint8_t byte = 'x';
    a->Write(&byte, 1, 9000);
    const UtpHeader data = Headers(a->Outbox()).at(0);
    EXPECT_EQ(0x1235, data.connectionId);
    EXPECT_EQ(2, data.seqNr);
    EXPECT_EQ(776, data.ackNr);  // expects 777 next: the ST_STATE took no number
    EXPECT_EQ(9000u, data.timestampUs);
    EXPECT_EQ(4000u, data.timestampDiffUs);  // our clock at the ST_STATE minus its stamp

    b->Write(&byte, 1, 9000);
    EXPECT_EQ(777, Headers(b->Outbox()).at(0).seqNr);

    // Two packets past a gap (b has seq 1, the SYN): bit 0 of byte 0 stands
    // for ack_nr + 2, bit 0 of byte 1 for ack_nr + 10.
    UtpHeader later = data;
    later.seqNr = 3;
    b->Receive(later, &byte, 1, 9500);
    later.seqNr = 11;
    b->Receive(later, &byte, 1, 9500);
    const UtpHeader sack = Headers(b->Outbox()).back();
    EXPECT_EQ(1, sack.ackNr);
    ASSERT_EQ(4, sack.sackBytes);
    EXPECT_EQ(0x01, sack.sack[0]);
    EXPECT_EQ(0x01, sack.sack[1]);
}

TEST_F(UtpSocketTest, FewMegabytesArriveByteExactBothWaysThenBothClose) {
    Sim sim;
    sim.toB = Flow{3u << 20, 1, true, true};
    sim.toA = Flow{2u << 20, 2, true, true};
    ASSERT_TRUE(sim.Connect());
    ASSERT_TRUE(sim.RunUntil([&] { return sim.a->Ended() && sim.b->Ended(); }, 60000000));
    EXPECT_TRUE(sim.toB.Done());
    EXPECT_TRUE(sim.toA.Done());
    EXPECT_EQ(State::kClosed, sim.a->state());
    EXPECT_EQ(State::kClosed, sim.b->state());
    EXPECT_EQ(sim.toB.total, sim.a->figures().bytesSent);
    EXPECT_EQ(sim.toB.total, sim.b->figures().bytesReceived);
    EXPECT_EQ(0u, sim.a->figures().retransmits);
}

// The acceptor sends 1 MiB to the dialler through each kind of fault; it
// arrives whole. `longestResendMs` tells which repair ran: a fast
// retransmit comes well before the half-second least time-out.
TEST_F(UtpSocketTest, TransferSurvivesEachKindOfFault) {
    const struct {
        const char* what;
        uint16_t firstSeq;
        std::function<bool(const Seen&)> drop;
        std::function<uint64_t(const Seen&)> lateUs;
        uint64_t minResends;
        uint64_t minLongestResendMs;
        uint64_t maxLongestResendMs;
    } cases[] = {
        {"sequence numbers wrap past 65535", 65400, nullptr, nullptr, 0, 0, 0},
        {"single losses are resent fast", 65400,
         [](const Seen& s) { return s.firstSending && s.header.seqNr % 50 == 7; }, nullptr, 10, 1, 200},
        {"a black-out is repaired by the time-out", 1000,
         [](const Seen& s) { return s.nowUs >= 1300000 && s.nowUs < 1500000; }, nullptr, 1, 500, 5000},
        {"reordered packets are put in order", 60000, nullptr,
         [](const Seen& s) { return s.header.seqNr % 7 == 0 ? 25000u : 0u; }, 0, 0, 0},
    };
    for (const auto& c : cases) {
        g_firstSeq = c.firstSeq;
        Sim sim;
        sim.ba.drop = c.drop;
        sim.ba.lateUs = c.lateUs;
        sim.toA = Flow{1u << 20, 3, true, true};
        ASSERT_TRUE(sim.Connect()) << c.what;
        ASSERT_TRUE(sim.RunUntil([&] { return sim.a->Ended() && sim.b->Ended(); }, 120000000)) << c.what;
        EXPECT_TRUE(sim.toA.Done()) << c.what;
        EXPECT_EQ(State::kClosed, sim.b->state()) << c.what;
        EXPECT_GE(sim.b->figures().retransmits, c.minResends) << c.what;
        EXPECT_GE(sim.ba.longestResendUs, c.minLongestResendMs * 1000) << c.what;
        EXPECT_LE(sim.ba.longestResendUs, c.maxLongestResendMs * 1000) << c.what;
    }
}

TEST_F(UtpSocketTest, ReaderThatDoesNotReadStallsTheSenderWithoutLoss) {
    Sim sim;
    sim.toB = Flow{3u << 20, 4, false, true};
    ASSERT_TRUE(sim.Connect());
    sim.Run(8000000);
    const size_t sentBefore = sim.ab.dataPackets;
    sim.Run(20000000);
    EXPECT_EQ(UtpSocket::kReceiveBufferBytes, sim.b->Readable());
    EXPECT_GT(sim.a->Unacked(), 0u);
    EXPECT_LE(sim.ab.dataPackets - sentBefore, 8u) << "only probes while the window is closed";
    EXPECT_TRUE(sim.a->Open());
    sim.toB.reading = true;
    ASSERT_TRUE(sim.RunUntil([&] { return sim.a->Ended() && sim.b->Ended(); }, 60000000));
    EXPECT_TRUE(sim.toB.Done());
}

// A peer that says its window is 0 forever gets one packet at a time, at
// the pace of the time-out, whether it acks it or not.
TEST_F(UtpSocketTest, PeerWithWindowZeroGetsOnlyProbes) {
    for (bool acks : {true, false}) {
        auto a = UtpSocket::Dial(0x2000, 0);
        Headers(a->Outbox());
        UtpHeader peer;
        peer.type = UtpType::kState;
        peer.connectionId = a->ReceiveId();
        peer.seqNr = 500;
        peer.ackNr = 1;
        peer.windowSize = 0;
        a->Receive(peer, nullptr, 0, 10000);
        ASSERT_TRUE(a->Open());
        std::vector<uint8_t> bytes(100000, 'z');
        EXPECT_EQ(bytes.size(), a->Write(bytes.data(), bytes.size(), 10000));
        size_t dataPackets = 0;
        for (uint64_t now = 10000; now < 20000000; now += 10000) {
            a->Tick(now);
            for (const UtpHeader& h : Headers(a->Outbox())) {
                if (h.type != UtpType::kData) continue;
                ++dataPackets;
                peer.ackNr = acks ? h.seqNr : 1;
                peer.timestampUs = uint32_t(now);
                a->Receive(peer, nullptr, 0, now);
            }
            ASSERT_LE(a->Unacked(), bytes.size());
        }
        EXPECT_GE(dataPackets, 1u) << acks;
        EXPECT_LE(dataPackets, acks ? 40u : 8u) << acks;
        EXPECT_TRUE(a->Open()) << acks;
    }
}

TEST_F(UtpSocketTest, TimeOutsAndReset) {
    {  // a SYN with no answer: sent at 0, 1 and 3 s, then timed out at 6 s
        auto a = UtpSocket::Dial(7, 0);
        std::vector<uint64_t> synAt;
        for (uint64_t now = 0; now <= 7000000 && !a->Ended(); now += 10000) {
            a->Tick(now);
            for (const UtpHeader& h : Headers(a->Outbox())) synAt.push_back(h.timestampUs);
            if (now == 5990000) {
                EXPECT_EQ(State::kSynSent, a->state());
            }
        }
        EXPECT_EQ((std::vector<uint64_t>{0, 1000000, 3000000}), synAt);
        EXPECT_EQ(State::kTimedOut, a->state());
    }
    {  // an idle connection lives on its keep-alives; a silent peer times out
        Sim sim;
        ASSERT_TRUE(sim.Connect());
        sim.Run(150000000);
        EXPECT_TRUE(sim.a->Open() && sim.b->Open());
        sim.ba.drop = [](const Seen&) { return true; };
        sim.Run(59000000);
        EXPECT_TRUE(sim.a->Open());
        sim.Run(2000000);
        EXPECT_EQ(State::kTimedOut, sim.a->state());
    }
    {  // a reset ends the other end at once
        Sim sim;
        sim.toB = Flow{1u << 20, 5, true, false};
        ASSERT_TRUE(sim.Connect());
        sim.Run(200000);
        sim.a->Reset();
        EXPECT_EQ(State::kReset, sim.a->state());
        sim.Run(100000);
        EXPECT_EQ(State::kReset, sim.b->state());
    }
}

// ---- LEDBAT -------------------------------------------------------------------

struct LedbatRun {
    double meanQueueMs = 0;  // over the second half
    uint64_t bytes = 0;
};

// One minute of upload over a 400 KB/s link with 20 ms each way: the
// queue our packets wait in, over the second half.
LedbatRun RunLedbat(uint64_t startUs, uint64_t clockOffsetB, bool blind) {
    Sim sim;
    sim.nowUs = startUs;
    sim.clockOffsetB = clockOffsetB;
    sim.ab.delayUs = sim.ba.delayUs = 20000;
    sim.ab.bytesPerSecond = 400000;
    if (blind) sim.ba.rewrite = [](UtpHeader& h) { h.timestampDiffUs = 1000; };
    sim.toB = Flow{1u << 30, 7, true, false};
    if (!sim.Connect()) return {};
    const uint64_t halfUs = sim.nowUs + 30000000;
    sim.Run(60000000);
    LedbatRun run;
    uint64_t sum = 0, count = 0;
    for (const auto& q : sim.ab.queueing) {
        if (q.first < halfUs) continue;
        sum += q.second;
        ++count;
    }
    run.meanQueueMs = count ? double(sum) / count / 1000 : 0;
    run.bytes = sim.toB.received;
    return run;
}

const LedbatRun& PlainLedbatRun() {
    static const LedbatRun run = RunLedbat(1000000, 0, false);
    return run;
}

TEST_F(UtpSocketTest, LedbatHoldsTheQueueNearTheTarget) {
    const LedbatRun& run = PlainLedbatRun();
    const LedbatRun blind = RunLedbat(1000000, 0, true);
    std::printf("ledbat: queue %.1f ms at %.0f KB/s; without the delay term %.1f ms\n", run.meanQueueMs,
                run.bytes / 60000.0, blind.meanQueueMs);
    EXPECT_GE(run.meanQueueMs, 50);
    EXPECT_LE(run.meanQueueMs, 200);
    EXPECT_GE(run.bytes, 400000u * 50) << "the link stays busy";
    EXPECT_GE(blind.meanQueueMs, 300);
}

// Both 32-bit clocks wrap in the middle of the run, and b's clock is far
// from a's: the same run, figure for figure.
TEST_F(UtpSocketTest, ClockOffsetAndWrapChangeNothing) {
    const LedbatRun& plain = PlainLedbatRun();
    const LedbatRun shifted = RunLedbat((1ull << 32) * 5 - 20000000, 0x9000000012345ull, false);
    EXPECT_EQ(plain.bytes, shifted.bytes);
    EXPECT_EQ(plain.meanQueueMs, shifted.meanQueueMs);
}

}  // namespace
