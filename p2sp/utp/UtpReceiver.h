// The receive side of a connection: packets taken in order go to the bytes
// the owner reads; packets past a gap wait in a reorder ring of one slot per
// sequence number the selective ack can name. Both count against the one
// window we offer, so a peer can never make it hold more than that.
#pragma once

#include "p2sp/utp/UtpByteQueue.h"
#include "p2sp/utp/UtpPacket.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class UtpReceiver {
public:
    static constexpr size_t kReorderSlots = kUtpMaxSackBytes * 8;  // ack_nr + 2 ... ack_nr + 257

    enum class Outcome {
        kTaken,      // in order: ack_nr moved
        kHeld,       // past a gap: waits in the reorder ring
        kDuplicate,  // had it already (or it is past the peer's FIN)
        kRefused,    // past what we hold for, or no room in the window
    };

    explicit UtpReceiver(size_t capacity);

    // ack_nr to start from: the sequence number before the first one expected.
    void Start(uint16_t ackNr) { ackNr_ = ackNr; }
    Outcome OnData(uint16_t seq, const uint8_t* payload, size_t size);
    Outcome OnFin(uint16_t seq);

    uint16_t ackNr() const { return ackNr_; }
    // The selective ack of what is held (bit 0 of byte 0 is ack_nr + 2);
    // returns its length, 0 when nothing is held.
    uint8_t BuildSack(uint8_t* out) const;
    size_t Read(uint8_t* out, size_t size) { return inOrder_.Take(out, size); }
    size_t Readable() const { return inOrder_.size(); }
    size_t FreeWindow() const { return capacity_ - inOrder_.size() - heldBytes_; }
    bool FinReached() const { return finReached_; }
    uint64_t delivered() const { return delivered_; }

private:
    struct Slot {
        bool present = false;
        uint16_t seq = 0;
        std::vector<uint8_t> payload;
    };

    // True when `seq` is at or before ack_nr: taken before.
    bool Behind(uint16_t seq) const;
    void Take(const uint8_t* payload, size_t size);
    void TakeHeld();
    void DropHeldFrom(uint16_t seq);

    const size_t capacity_;
    UtpByteQueue inOrder_;
    std::vector<Slot> ring_;
    size_t heldBytes_ = 0;
    uint16_t ackNr_ = 0;
    bool hasFin_ = false;
    uint16_t finSeq_ = 0;
    bool finReached_ = false;
    uint64_t delivered_ = 0;
};
