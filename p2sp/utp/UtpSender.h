// The send side of a connection: the packets sent and not yet acked, in
// sequence order from the oldest. It reads acks and selective acks against
// them (an ack for a packet never sent is ignored whole), finds the packets
// later ones overtook (lost: three acks past them), and marks packets to be
// sent again after a time-out.
#pragma once

#include "p2sp/utp/UtpPacket.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

class UtpSender {
public:
    // At most this many packets in flight: the peer's selective ack and
    // reorder ring reach that far past its ack_nr.
    static constexpr size_t kMaxFlightPackets = kUtpMaxSackBytes * 8;
    static constexpr unsigned kLossAcks = 3;

    struct Packet {
        UtpType type = UtpType::kData;
        std::vector<uint8_t> payload;
        uint64_t sentUs = 0;
        uint32_t transmissions = 0;
        bool acked = false;       // by a selective ack, before the ones under it
        bool needResend = false;  // counts as not in flight until sent again
        bool fastResent = false;  // sent again once for three acks past it
    };

    struct AckResult {
        bool valid = false;       // ack_nr names a packet we sent (or the one before the oldest)
        size_t bytesAcked = 0;
        bool hasRttSample = false;
        uint64_t rttSampleUs = 0;  // from the newest packet acked that was sent once
        size_t packetsAcked = 0;
        bool lossFound = false;
    };

    void Start(uint16_t firstSeq) { base_ = firstSeq; }
    // Appends a packet numbered nextSeq(), sent now; the caller sends it.
    void Add(UtpType type, std::vector<uint8_t> payload, uint64_t nowUs);
    bool Full() const { return flight_.size() >= kMaxFlightPackets; }
    bool Empty() const { return flight_.empty(); }
    uint16_t nextSeq() const { return uint16_t(base_ + flight_.size()); }
    // The oldest packet not acked; the ones before it are.
    uint16_t base() const { return base_; }

    // `countsAsDuplicate`: an ack that may count towards three in a row
    // (a bare ST_STATE from a peer with room in its window).
    AckResult OnAck(uint16_t ackNr, const uint8_t* sack, size_t sackBytes, uint64_t nowUs, bool countsAsDuplicate);
    // After a time-out: every unacked packet is to be sent again.
    void MarkAllForResend();
    // The oldest packet marked to be sent again, or nullptr; its sequence number in `*seq`.
    Packet* NextResend(uint16_t* seq);
    void SentAgain(Packet& packet, uint64_t nowUs);

    size_t FlightBytes() const { return flightBytes_; }  // sent, unacked and not marked
    size_t UnackedBytes() const { return unackedBytes_; }

private:
    void MarkAcked(Packet& packet, uint64_t nowUs, AckResult* result);
    void ApplySack(uint16_t ackNr, const uint8_t* sack, size_t sackBytes, uint64_t nowUs, AckResult* result);
    void MarkLost(Packet& packet, AckResult* result);
    void FindOvertaken(AckResult* result);
    void PopAcked();

    std::deque<Packet> flight_;
    uint16_t base_ = 0;
    size_t flightBytes_ = 0;
    size_t unackedBytes_ = 0;
    unsigned duplicateAcks_ = 0;
};
