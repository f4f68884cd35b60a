// One connection to a peer: a non-blocking TCP socket, or a uTP connection
// over the swarm's UDP socket; what came in and is not yet parsed, what waits
// to go out, and the peer's side of the protocol state. The swarm's loop
// drives it; no policy here.
#pragma once

#include "p2sp/SpeedMeter.h"
#include "p2sp/swarm/Bitfield.h"
#include "p2sp/swarm/PeerBans.h"
#include "p2sp/swarm/PeerExchange.h"
#include "p2sp/swarm/PeerService.h"
#include "p2sp/swarm/PeerWire.h"
#include "p2sp/swarm/PiecePicker.h"
#include "p2sp/swarm/TrackerAnnounce.h"
#include "p2sp/utp/UtpSocket.h"

#include "base/ScopedSocket.h"

#include <winsock2.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <vector>

struct PeerLink {
    enum class Stage { kConnecting, kHandshake, kActive, kClosed };

    int id = 0;
    PeerAddress address;
    bool outgoing = false;
    bool exchanged = false;  // dialled because another peer told us of it
    bool introduced = false;  // dialled (or dialled us) after an introduction
    bool secondTry = false;   // a dial over the other transport after the first failed
    ScopedSocket socket;      // TCP
    std::unique_ptr<UtpSocket> utp;  // or uTP
    uint64_t utpTracedMs = 0;        // its figures last went to the trace then
    Stage stage = Stage::kConnecting;
    bool handshakeSent = false;
    uint8_t peerId[20] = {};
    PeerKey key;  // its address and peer id, once it has handshaken

    std::vector<uint8_t> in;  // received, not yet parsed
    std::vector<uint8_t> out;  // waiting to be sent
    size_t outSent = 0;        // bytes of `out` already sent

    // Protocol state, both ways.
    bool amChoking = true;
    bool amInterested = false;
    bool peerChoking = true;
    bool peerInterested = false;
    Bitfield has;
    size_t lacking = 0;  // pieces it has that we do not: we are interested while any
    size_t messages = 0;  // since the handshake: a bitfield is only allowed first
    size_t unsolicited = 0;  // blocks it sent that were never asked of it
    std::vector<PiecePicker::Block> asked;  // our requests in flight
    std::deque<PiecePicker::Block> wanted;  // its requests, oldest first
    PeerService service;  // how it serves our requests
    SpeedMeter received;  // block bytes from it

    // The extension protocol: whether it offered it, its handshake, and
    // peer exchange both ways.
    bool extensions = false;
    ExtendedHandshake extended;
    std::set<PeerAddress> told;  // the peers we told it of
    std::deque<uint64_t> punchesMs;  // its recent introduction requests (either way)
    uint64_t pexSentMs = 0;
    uint64_t pexReceivedMs = 0;

    uint64_t lastReceiveMs = 0;
    uint64_t lastSendMs = 0;
    uint64_t openedMs = 0;
    uint64_t unreadableSinceMs = 0;  // its next block could not be read since then (0: it could)
    uint64_t downloaded = 0;    // block bytes from it
    uint64_t uploaded = 0;      // block bytes to it
    uint64_t downloadedAtRound = 0;  // at the last choke round
    uint64_t uploadedAtRound = 0;
    uint64_t rateDown = 0;      // bytes per second over the last round
    uint64_t rateUp = 0;

    size_t Pending() const { return out.size() - outSent; }
    // Forgets what of `out` was sent: all of it at once, else in runs of a MiB.
    void DropSent() {
        if (outSent == out.size()) {
            out.clear();
            outSent = 0;
        } else if (outSent > (1u << 20)) {
            out.erase(out.begin(), out.begin() + ptrdiff_t(outSent));
            outSent = 0;
        }
    }
};
