#include "p2sp/utp/UtpSender.h"

#include "p2sp/utp/UtpSeq.h"

void UtpSender::Add(UtpType type, std::vector<uint8_t> payload, uint64_t nowUs) {
    flight_.emplace_back();
    Packet& packet = flight_.back();
    packet.type = type;
    packet.payload = std::move(payload);
    packet.sentUs = nowUs;
    packet.transmissions = 1;
    flightBytes_ += packet.payload.size();
    unackedBytes_ += packet.payload.size();
}

UtpSender::AckResult UtpSender::OnAck(uint16_t ackNr, const uint8_t* sack, size_t sackBytes, uint64_t nowUs,
                                      bool countsAsDuplicate) {
    AckResult result;
    const size_t upTo = SeqDistance(uint16_t(base_ - 1), ackNr);  // packets this ack covers
    if (upTo > flight_.size()) return result;
    result.valid = true;
    for (size_t i = 0; i < upTo; ++i) MarkAcked(flight_[i], nowUs, &result);
    if (upTo > 0) {
        duplicateAcks_ = 0;
    } else if (countsAsDuplicate && !flight_.empty() && ++duplicateAcks_ >= kLossAcks) {
        duplicateAcks_ = 0;
        MarkLost(flight_.front(), &result);
    }
    if (sackBytes > 0) ApplySack(ackNr, sack, sackBytes, nowUs, &result);
    PopAcked();
    return result;
}

void UtpSender::MarkAcked(Packet& packet, uint64_t nowUs, AckResult* result) {
    if (packet.acked) return;
    packet.acked = true;
    ++result->packetsAcked;
    result->bytesAcked += packet.payload.size();
    unackedBytes_ -= packet.payload.size();
    if (!packet.needResend) flightBytes_ -= packet.payload.size();
    // A packet sent more than once cannot say which sending the ack answers.
    if (packet.transmissions == 1) {
        result->hasRttSample = true;
        result->rttSampleUs = nowUs - packet.sentUs;
    }
}

// Bit i (bit i % 8 of byte i / 8) acks ack_nr + 2 + i. Bits past what we
// sent are ignored.
void UtpSender::ApplySack(uint16_t ackNr, const uint8_t* sack, size_t sackBytes, uint64_t nowUs,
                          AckResult* result) {
    for (size_t bit = 0; bit < sackBytes * 8; ++bit) {
        if ((sack[bit / 8] & (1u << (bit % 8))) == 0) continue;
        const size_t index = SeqDistance(base_, uint16_t(ackNr + 2 + bit));
        if (index < flight_.size()) MarkAcked(flight_[index], nowUs, result);
    }
    FindOvertaken(result);
}

// A packet that three later packets overtook is lost.
void UtpSender::FindOvertaken(AckResult* result) {
    unsigned ackedAfter = 0;
    for (size_t i = flight_.size(); i-- > 0;) {
        if (flight_[i].acked) {
            ++ackedAfter;
        } else if (ackedAfter >= kLossAcks) {
            MarkLost(flight_[i], result);
        }
    }
}

void UtpSender::MarkLost(Packet& packet, AckResult* result) {
    if (packet.acked || packet.needResend || packet.fastResent) return;
    packet.fastResent = true;
    packet.needResend = true;
    flightBytes_ -= packet.payload.size();
    result->lossFound = true;
}

void UtpSender::PopAcked() {
    while (!flight_.empty() && flight_.front().acked) {
        flight_.pop_front();
        ++base_;
    }
}

void UtpSender::MarkAllForResend() {
    for (Packet& packet : flight_) {
        if (packet.acked || packet.needResend) continue;
        packet.needResend = true;
        flightBytes_ -= packet.payload.size();
    }
}

UtpSender::Packet* UtpSender::NextResend(uint16_t* seq) {
    for (size_t i = 0; i < flight_.size(); ++i) {
        if (!flight_[i].needResend) continue;
        *seq = uint16_t(base_ + i);
        return &flight_[i];
    }
    return nullptr;
}

void UtpSender::SentAgain(Packet& packet, uint64_t nowUs) {
    packet.needResend = false;
    packet.sentUs = nowUs;
    ++packet.transmissions;
    flightBytes_ += packet.payload.size();
}
