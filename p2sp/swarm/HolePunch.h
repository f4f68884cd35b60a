// Introductions between peers that cannot dial each other (ut_holepunch,
// over the extension protocol): a peer asks one connected to both to
// introduce it (rendezvous); that peer tells both ends of each other
// (connect), and both dial over uTP at once, so each router has let the
// other's packets in by the time they arrive. No platform code.
#pragma once

#include "p2sp/swarm/PeerAddress.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

enum class HolePunchType : uint8_t { kRendezvous = 0, kConnect = 1, kError = 2 };

enum : uint32_t {
    kPunchNoSuchPeer = 1,    // the address is not a peer we can name
    kPunchNotConnected = 2,  // we are not connected to it
    kPunchNoSupport = 3,     // it does not take introductions
    kPunchNoSelf = 4,        // that is you
};

struct HolePunchMessage {
    HolePunchType type = HolePunchType::kRendezvous;
    PeerAddress endpoint;
    uint32_t error = 0;  // kPunch*; 0 but in errors
};

std::vector<uint8_t> HolePunchPayload(const HolePunchMessage& m);
// False when not a sound message: unknown type or address family, or a
// length that does not match.
bool ParseHolePunch(const uint8_t* data, size_t size, HolePunchMessage* out);

// How many introductions a peer may ask for (or hand us) in a minute.
constexpr size_t kMaxPunchesPerMinute = 10;
// Whether one more fits in the last minute of `recentMs` (which it keeps to
// that minute), and if so, counts it.
bool TakePunch(std::deque<uint64_t>* recentMs, uint64_t nowMs);
