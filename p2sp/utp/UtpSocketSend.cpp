// Packets out: headers, the send loop within the window, resends and the
// retransmission timer.
#include "p2sp/utp/UtpSocketImpl.h"

UtpHeader UtpSocket::Impl::MakeHeader(UtpType type, uint16_t seq) {
    UtpHeader h;
    h.type = type;
    h.connectionId = type == UtpType::kSyn ? receiveId : sendId;
    h.timestampUs = uint32_t(nowUs);
    h.timestampDiffUs = replyMicroUs;
    h.windowSize = uint32_t(receiver.FreeWindow());
    h.seqNr = seq;
    h.ackNr = receiver.ackNr();
    if (type != UtpType::kSyn) h.sackBytes = receiver.BuildSack(h.sack);
    advertisedWindow = h.windowSize;
    return h;
}

void UtpSocket::Impl::Emit(const UtpHeader& header, const uint8_t* payload, size_t size) {
    lastSentUs = nowUs;
    if (header.type != UtpType::kSyn) pendingAcks = 0;  // every packet carries the ack
    if (outbox.size() >= kMaxOutbox) return;
    std::vector<uint8_t> datagram(kUtpMaxHeaderBytes + size);
    const size_t headerBytes = WriteUtpHeader(header, datagram.data());
    std::copy(payload, payload + size, datagram.begin() + headerBytes);
    datagram.resize(headerBytes + size);
    outbox.push_back(std::move(datagram));
}

void UtpSocket::Impl::SendSyn() { Emit(MakeHeader(UtpType::kSyn, kSynSeq), nullptr, 0); }

// An ST_STATE carries the next sequence number we will use without taking it.
void UtpSocket::Impl::SendState() { Emit(MakeHeader(UtpType::kState, sender.nextSeq()), nullptr, 0); }

void UtpSocket::Impl::SendReset() { Emit(MakeHeader(UtpType::kReset, sender.nextSeq()), nullptr, 0); }

void UtpSocket::Impl::ArmRetransmit() {
    if (retransmitAtUs == 0) retransmitAtUs = nowUs + rtt.TimeoutUs();
}

void UtpSocket::Impl::SendPacket(UtpType type, std::vector<uint8_t> payload) {
    const UtpHeader header = MakeHeader(type, sender.nextSeq());
    Emit(header, payload.data(), payload.size());
    sender.Add(type, std::move(payload), nowUs);
    ArmRetransmit();
}

// Packets marked after a loss or a time-out go first, oldest first. When
// nothing is in flight one always goes, whatever the windows say: the
// probe of a closed window, or the first packet after a time-out.
bool UtpSocket::Impl::SendResends(size_t allowed) {
    uint16_t seq = 0;
    while (UtpSender::Packet* packet = sender.NextResend(&seq)) {
        const size_t flight = sender.FlightBytes();
        if (flight > 0 && flight + packet->payload.size() > allowed) return false;
        UtpHeader header = MakeHeader(packet->type, seq);
        Emit(header, packet->payload.data(), packet->payload.size());
        sender.SentAgain(*packet, nowUs);
        ++retransmits;
        ArmRetransmit();
    }
    return true;
}

bool UtpSocket::Impl::SendNewData(size_t allowed) {
    while (!unsent.empty() && !sender.Full()) {
        const size_t flight = sender.FlightBytes();
        const size_t room = allowed > flight ? allowed - flight : 0;
        size_t chunk = std::min(kMaxPayload, unsent.size());
        if (chunk > room) {
            if (flight > 0) return false;  // the acks of what is out open the window
            if (peerWindow == 0) {
                // A closed window: one probe after a time-out, whose answer
                // tells the window again.
                if (probeAtUs == 0) probeAtUs = nowUs + rtt.TimeoutUs();
                if (nowUs < probeAtUs) return false;
            } else {
                chunk = room;  // the peer's window is under one packet: fill it
            }
        }
        probeAtUs = 0;
        std::vector<uint8_t> payload(chunk);
        unsent.Take(payload.data(), chunk);
        SendPacket(UtpType::kData, std::move(payload));
    }
    return unsent.empty();
}

void UtpSocket::Impl::TrySend() {
    if (!Sending()) return;
    const size_t allowed = std::min<size_t>(ledbat.window(), peerWindow);
    if (!SendResends(allowed) || !SendNewData(allowed)) return;
    if (closeRequested && !finQueued && !sender.Full()) {
        finQueued = true;
        finSeq = sender.nextSeq();
        SendPacket(UtpType::kFin, {});
    }
}
