// Any bytes as a datagram from a UDP tracker, taken as the answer to a
// connect and to an announce. Nothing is read out of bounds; an accepted
// announce answer holds no more peers than allowed and none with port 0.
#include "fuzz/FuzzCheck.h"
#include "p2sp/swarm/UdpTrackerPacket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint32_t transaction = size >= 8 ? (uint32_t(data[4]) << 24 | uint32_t(data[5]) << 16 |
                                              uint32_t(data[6]) << 8 | data[7])
                                           : 0;
    uint64_t id = 0;
    std::string failure;
    const UdpReply connect = ParseUdpConnectReply(data, size, transaction, &id, &failure);
    FUZZ_CHECK(connect != UdpReply::kRefused || !failure.empty(), "a refusal without a message");
    FUZZ_CHECK(failure.size() <= 512, "an error text longer than allowed");

    AnnounceReply reply;
    const UdpReply announce = ParseUdpAnnounceReply(data, size, transaction, &reply);
    if (announce == UdpReply::kAnswer) {
        FUZZ_CHECK(reply.peers.size() <= kMaxAnnouncePeers, "more peers than allowed");
        FUZZ_CHECK(reply.peers.size() <= (size - 20) / 6, "more peers than the datagram holds");
        for (const PeerAddress& peer : reply.peers) FUZZ_CHECK(peer.port != 0, "a peer with port 0");
    }
    FUZZ_CHECK(announce != UdpReply::kRefused || !reply.failure.empty(), "a refusal without a message");
    return 0;
}
