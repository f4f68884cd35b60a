// One uTP connection (BEP 29): set-up, in-order delivery, selective acks,
// retransmission with time-outs from the measured round trip, a receive
// window, and LEDBAT congestion control (a target delay of 100 ms): when the
// one-way delay of our packets grows past what the path had at its least,
// the send window shrinks, so an upload yields the uplink to other traffic.
//
// No platform code and no threads: the owner delivers the packets that
// arrive (Receive), calls Tick every few tens of milliseconds, passes the
// clock in microseconds, and sends the datagrams this leaves in Outbox().
// Everything is bounded: the send buffer, the receive window and the
// reorder buffer.
#pragma once

#include "p2sp/utp/UtpPacket.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

class UtpSocket {
public:
    enum class State {
        kSynSent,    // dialled, no answer yet
        kConnected,
        kFinSent,    // closed by us, our data still going out
        kClosed,     // both sides done, or closed by the peer and read out
        kReset,      // reset by the peer, or refused
        kTimedOut,   // no answer for too long
    };

    static constexpr size_t kMaxPayload = 1350;            // fits a 1500-byte path with room for tunnels
    static constexpr size_t kSendBufferBytes = 1u << 20;   // written, not yet acked
    static constexpr size_t kReceiveBufferBytes = 1u << 20;  // the window we offer, reordered data included
    static constexpr uint32_t kTargetDelayUs = 100000;     // LEDBAT's target
    static constexpr uint64_t kConnectTimeoutUs = 6000000; // SYN sent three times (0, 1, 3 s)
    static constexpr uint64_t kIdleTimeoutUs = 60000000;   // nothing from the peer this long: timed out

    struct Figures {
        uint32_t rttUs = 0;          // smoothed round trip
        uint32_t windowBytes = 0;    // the congestion window
        uint32_t ourDelayUs = 0;     // our packets' queueing delay, as LEDBAT sees it
        uint64_t retransmits = 0;
        uint64_t bytesSent = 0;      // payload bytes acked by the peer
        uint64_t bytesReceived = 0;  // payload bytes delivered in order
    };

    // Dials: `receiveId` is the connection id the peer will send to us
    // (random, chosen by the owner so it is unique per address); the SYN
    // goes to the outbox at once.
    static std::unique_ptr<UtpSocket> Dial(uint16_t receiveId, uint64_t nowUs);
    // Accepts a SYN the owner received; the answer goes to the outbox.
    static std::unique_ptr<UtpSocket> Accept(const UtpHeader& syn, uint64_t nowUs);

    // The connection id packets from the peer carry (the owner's key).
    uint16_t ReceiveId() const;

    void Receive(const UtpHeader& header, const uint8_t* payload, size_t size, uint64_t nowUs);
    void Tick(uint64_t nowUs);

    // Takes up to `size` bytes into the send buffer (0 when it is full or
    // the connection is not open); sends what the windows allow.
    size_t Write(const uint8_t* data, size_t size, uint64_t nowUs);
    size_t WriteRoom() const;
    size_t Unacked() const;  // written and not yet acked
    // Reads what arrived in order.
    size_t Read(uint8_t* out, size_t size);
    size_t Readable() const;
    // Sends FIN after what is written; the state goes to kFinSent.
    void Close(uint64_t nowUs);
    // Sends a RESET and ends at once.
    void Reset();

    State state() const;
    bool Open() const { return state() == State::kConnected; }
    // Ended: closed, reset or timed out; the owner may forget it.
    bool Ended() const;
    Figures figures() const;

    // Datagrams ready to send, oldest first; the owner sends and clears them.
    std::deque<std::vector<uint8_t>>& Outbox();

    ~UtpSocket();
    UtpSocket(const UtpSocket&) = delete;
    UtpSocket& operator=(const UtpSocket&) = delete;

private:
    struct Impl;
    explicit UtpSocket(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};
