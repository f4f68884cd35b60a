// Packets in (set-up, acks, data, FIN and reset) and time: SYN resends,
// time-outs, keep-alives and the close.
#include "p2sp/utp/UtpSocketImpl.h"

void UtpSocket::Impl::OnPacket(const UtpHeader& header, const uint8_t* payload, size_t size) {
    if (state == State::kClosed && header.connectionId == receiveId && header.type == UtpType::kFin) {
        SendState();  // our ack of its FIN was lost while the owner still keeps us: ack again
        return;
    }
    if (!Sending() && state != State::kSynSent) return;
    if (header.type == UtpType::kSyn) {
        HandleSyn(header);
        return;
    }
    if (header.connectionId != receiveId) return;
    if (header.type == UtpType::kReset) {
        state = State::kReset;
        return;
    }
    if (state == State::kSynSent && !TakeConnection(header)) return;
    lastReceivedUs = nowUs;
    replyMicroUs = uint32_t(nowUs) - header.timestampUs;
    peerWindow = header.windowSize;
    ledbat.AddDelaySample(header.timestampDiffUs, nowUs);
    HandleAck(header, size);
    if (header.type == UtpType::kData) HandleData(header, payload, size);
    if (header.type == UtpType::kFin) HandleFin(header);
    TrySend();
    UpdateClosed();
}

// The dialler's SYN is answered by an ST_STATE acking it (or, should that
// be lost, by the acceptor's first data): its seq_nr is the acceptor's next.
bool UtpSocket::Impl::TakeConnection(const UtpHeader& header) {
    if (header.ackNr != kSynSeq || header.type == UtpType::kSyn) return false;
    state = State::kConnected;
    receiver.Start(uint16_t(header.seqNr - 1));
    if (synResends == 0) rtt.AddSample(nowUs - dialUs);
    return true;
}

void UtpSocket::Impl::HandleAck(const UtpHeader& header, size_t payloadSize) {
    const size_t flightBefore = sender.FlightBytes();
    // A bare ack from a peer with room counts towards three in a row; one
    // from a full peer only tells its window.
    const bool mayBeDuplicate = header.type == UtpType::kState && payloadSize == 0 && peerWindow >= kMaxPayload;
    const UtpSender::AckResult acked =
        sender.OnAck(header.ackNr, header.sack, header.sackBytes, nowUs, mayBeDuplicate);
    if (!acked.valid) return;
    if (acked.hasRttSample) rtt.AddSample(acked.rttSampleUs);
    if (acked.lossFound) ledbat.OnLoss(nowUs, rtt.rttUs());
    if (acked.packetsAcked > 0) {
        rtt.OnProgress();
        ledbat.OnAck(acked.bytesAcked, flightBefore);
        bytesAcked += acked.bytesAcked;
        retransmitAtUs = 0;
        if (!sender.Empty()) ArmRetransmit();
    }
    if (finQueued && SeqBefore(finSeq, sender.base())) finAcked = true;
}

void UtpSocket::Impl::HandleData(const UtpHeader& header, const uint8_t* payload, size_t size) {
    const UtpReceiver::Outcome outcome = receiver.OnData(header.seqNr, payload, size);
    // In order: every second one is acked. Anything else is acked at once:
    // a gap (with its selective ack), a duplicate (our ack may be lost), a
    // packet we had no room for (the window again).
    // The ack of the peer's FIN goes at once too: we may close right after.
    const bool inOrder = outcome == UtpReceiver::Outcome::kTaken && !receiver.FinReached();
    if (inOrder && ++pendingAcks < kAckEvery) return;
    SendState();
}

void UtpSocket::Impl::HandleFin(const UtpHeader& header) {
    receiver.OnFin(header.seqNr);
    SendState();
}

// The dialler sends its SYN again when our answer was lost: answer again.
// Any other SYN on this connection is ignored.
void UtpSocket::Impl::HandleSyn(const UtpHeader& header) {
    if (!dialler && header.seqNr == acceptedSynSeq && uint16_t(header.connectionId + 1) == receiveId) SendState();
}

// ---- time ------------------------------------------------------------------

void UtpSocket::Impl::TickSynSent() {
    const uint64_t waited = nowUs - dialUs;
    if (waited >= kConnectTimeoutUs) {
        state = State::kTimedOut;
    } else if (synResends < 2 && waited >= kSynResendUs[synResends]) {
        ++synResends;
        SendSyn();
    }
}

void UtpSocket::Impl::OnTimeout() {
    rtt.OnTimeout();
    // A closed window is not a congested path: the probe's time-out leaves
    // the window as it was.
    if (peerWindow != 0) ledbat.OnTimeout();
    sender.MarkAllForResend();
    retransmitAtUs = 0;
}

void UtpSocket::Impl::TickOpen() {
    if (nowUs - lastReceivedUs >= kIdleTimeoutUs) {
        state = State::kTimedOut;
        return;
    }
    if (retransmitAtUs != 0 && nowUs >= retransmitAtUs) OnTimeout();
    TrySend();
    // A lone in-order packet waited for this tick; a window that was closed
    // and is open again is told at once, else the peer waits for its probe.
    const bool windowOpened = advertisedWindow < kMaxPayload && receiver.FreeWindow() >= kMaxPayload;
    if (pendingAcks > 0 || windowOpened || nowUs - lastSentUs >= kKeepAliveUs) SendState();
}

// Closed once the peer's FIN is read out and nothing of ours is left
// unacked (our FIN, when we sent one). A peer that sends no FIN after ours
// was acked is waited for while it still sends.
void UtpSocket::Impl::UpdateClosed() {
    if (!Sending()) return;
    const bool peerDone = receiver.FinReached() && receiver.Readable() == 0;
    const bool oursDone = closeRequested ? finAcked : unsent.empty() && sender.Empty();
    const bool peerSilent = !receiver.FinReached() && nowUs - lastReceivedUs >= kFinLingerUs;
    if (oursDone && (peerDone || (finAcked && peerSilent))) state = State::kClosed;
}
