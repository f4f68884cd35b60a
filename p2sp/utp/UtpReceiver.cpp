#include "p2sp/utp/UtpReceiver.h"

#include "p2sp/utp/UtpSeq.h"

#include <cstring>

UtpReceiver::UtpReceiver(size_t capacity) : capacity_(capacity), ring_(kReorderSlots) {}

bool UtpReceiver::Behind(uint16_t seq) const { return !SeqBefore(ackNr_, seq); }

UtpReceiver::Outcome UtpReceiver::OnData(uint16_t seq, const uint8_t* payload, size_t size) {
    if (Behind(seq) || finReached_ || (hasFin_ && !SeqBefore(seq, finSeq_))) return Outcome::kDuplicate;
    const uint16_t step = SeqDistance(ackNr_, seq);
    if (step > kReorderSlots + 1 || size > FreeWindow()) return Outcome::kRefused;
    if (step == 1) {
        Take(payload, size);
        TakeHeld();
        return Outcome::kTaken;
    }
    Slot& slot = ring_[seq % kReorderSlots];
    if (slot.present) return Outcome::kDuplicate;  // held seqs are unique within the ring's span
    slot.present = true;
    slot.seq = seq;
    slot.payload.assign(payload, payload + size);
    heldBytes_ += size;
    return Outcome::kHeld;
}

UtpReceiver::Outcome UtpReceiver::OnFin(uint16_t seq) {
    if (Behind(seq) || finReached_) return Outcome::kDuplicate;
    if (hasFin_) return seq == finSeq_ ? Outcome::kDuplicate : Outcome::kRefused;
    if (SeqDistance(ackNr_, seq) > kReorderSlots + 1) return Outcome::kRefused;
    hasFin_ = true;
    finSeq_ = seq;
    DropHeldFrom(seq);
    TakeHeld();
    return finReached_ ? Outcome::kTaken : Outcome::kHeld;
}

void UtpReceiver::Take(const uint8_t* payload, size_t size) {
    inOrder_.Append(payload, size);
    delivered_ += size;
    ++ackNr_;
}

// Moves the packets that follow on from the ring, and the FIN once every
// packet before it is in.
void UtpReceiver::TakeHeld() {
    for (;;) {
        const uint16_t next = uint16_t(ackNr_ + 1);
        if (hasFin_ && next == finSeq_) {
            ackNr_ = next;
            finReached_ = true;
            return;
        }
        Slot& slot = ring_[next % kReorderSlots];
        if (!slot.present || slot.seq != next) return;
        heldBytes_ -= slot.payload.size();
        Take(slot.payload.data(), slot.payload.size());
        slot.present = false;
        std::vector<uint8_t>().swap(slot.payload);
    }
}

// Packets the peer numbered at or after its FIN are not data of this connection.
void UtpReceiver::DropHeldFrom(uint16_t seq) {
    for (Slot& slot : ring_) {
        if (!slot.present || SeqBefore(slot.seq, seq)) continue;
        heldBytes_ -= slot.payload.size();
        slot.present = false;
        std::vector<uint8_t>().swap(slot.payload);
    }
}

uint8_t UtpReceiver::BuildSack(uint8_t* out) const {
    std::memset(out, 0, kUtpMaxSackBytes);
    size_t highest = 0;
    bool any = false;
    for (size_t bit = 0; bit < kReorderSlots; ++bit) {
        const uint16_t seq = uint16_t(ackNr_ + 2 + bit);
        const Slot& slot = ring_[seq % kReorderSlots];
        if (!slot.present || slot.seq != seq) continue;
        out[bit / 8] |= uint8_t(1u << (bit % 8));
        highest = bit;
        any = true;
    }
    if (!any) return 0;
    const size_t bytes = highest / 8 + 1;
    return uint8_t((bytes + 3) / 4 * 4);
}
