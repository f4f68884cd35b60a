// The state of one uTP connection and the steps its parts take, shared by
// UtpSocket.cpp (the calls its owner makes), UtpSocketSend.cpp (packets out)
// and UtpSocketReceive.cpp (packets in, time-outs and the close). Private
// to those files.
#pragma once

#include "p2sp/utp/UtpSocket.h"

#include "p2sp/utp/UtpByteQueue.h"
#include "p2sp/utp/UtpLedbat.h"
#include "p2sp/utp/UtpRandom.h"
#include "p2sp/utp/UtpReceiver.h"
#include "p2sp/utp/UtpRtt.h"
#include "p2sp/utp/UtpSender.h"
#include "p2sp/utp/UtpSeq.h"

#include <algorithm>
#include <deque>
#include <vector>

struct UtpSocket::Impl {
    static constexpr uint16_t kSynSeq = 1;  // the dialler's first sequence number
    static constexpr uint64_t kSynResendUs[] = {1000000, 3000000};
    static constexpr uint64_t kKeepAliveUs = 30000000;
    // After our FIN is acked the peer may still be sending; without a FIN of its
    // own, this long without a packet from it ends the connection.
    static constexpr uint64_t kFinLingerUs = 10000000;
    static constexpr size_t kMaxOutbox = 1024;  // datagrams the owner has not taken: more are dropped like on a full link
    static constexpr unsigned kAckEvery = 2;    // in-order packets per ack; a lone one is acked at the next Tick

    State state = State::kSynSent;
    bool dialler = false;
    uint16_t receiveId = 0;
    uint16_t sendId = 0;
    uint16_t acceptedSynSeq = 0;

    UtpSender sender;
    UtpReceiver receiver{kReceiveBufferBytes};
    UtpByteQueue unsent;  // written, not yet in a packet
    UtpRtt rtt;
    UtpLedbat ledbat{uint32_t(kMaxPayload), uint32_t(kSendBufferBytes), kTargetDelayUs};
    std::deque<std::vector<uint8_t>> outbox;

    uint32_t replyMicroUs = 0;  // our clock at the peer's last packet minus its time stamp
    uint32_t peerWindow = 0;
    uint32_t advertisedWindow = 0;
    uint64_t nowUs = 0;  // the latest clock the owner gave
    uint64_t dialUs = 0;
    unsigned synResends = 0;
    uint64_t lastReceivedUs = 0;
    uint64_t lastSentUs = 0;
    uint64_t retransmitAtUs = 0;  // 0: no timer
    uint64_t probeAtUs = 0;       // 0: no zero-window probe waiting
    unsigned pendingAcks = 0;
    bool closeRequested = false;
    bool finQueued = false;
    uint16_t finSeq = 0;
    bool finAcked = false;

    uint64_t retransmits = 0;
    uint64_t bytesAcked = 0;

    // Sending.
    UtpHeader MakeHeader(UtpType type, uint16_t seq);
    void Emit(const UtpHeader& header, const uint8_t* payload, size_t size);
    void SendSyn();
    void SendState();
    void SendReset();
    void TrySend();
    bool SendResends(size_t allowed);
    bool SendNewData(size_t allowed);
    void SendPacket(UtpType type, std::vector<uint8_t> payload);
    void ArmRetransmit();

    // Receiving.
    void OnPacket(const UtpHeader& header, const uint8_t* payload, size_t size);
    bool TakeConnection(const UtpHeader& header);
    void HandleAck(const UtpHeader& header, size_t payloadSize);
    void HandleData(const UtpHeader& header, const uint8_t* payload, size_t size);
    void HandleFin(const UtpHeader& header);
    void HandleSyn(const UtpHeader& header);

    // Time.
    void TickSynSent();
    void TickOpen();
    void OnTimeout();
    void UpdateClosed();

    bool Sending() const { return state == State::kConnected || state == State::kFinSent; }
    // A clock that went back would read as a very long wait: it stands still instead.
    void SetClock(uint64_t now) { nowUs = std::max(nowUs, now); }
};
