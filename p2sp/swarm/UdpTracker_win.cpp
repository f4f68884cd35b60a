#include "base/ScopedSocket.h"
#include "p2sp/swarm/UdpTracker.h"

#include "p2sp/swarm/UdpTrackerPacket.h"

#include <ws2tcpip.h>

#include <mutex>
#include <random>
#include <vector>

namespace {

constexpr DWORD kSliceMs = 200;  // how often a wait looks at the stop flag

class WinsockUse {
public:
    WinsockUse() {
        WSADATA data;
        ok_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockUse() {
        if (ok_) ::WSACleanup();
    }
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

uint32_t NewTransactionId() {
    static std::random_device seed;
    static std::mt19937 random(seed());
    static std::mutex lock;
    std::lock_guard<std::mutex> hold(lock);
    return random();
}

enum class Exchange { kAnswered, kRefused, kSilent, kStopped };

// Sends request and waits for the datagram that `accept` takes as its answer
// (kAnswer or kRefused); other datagrams are ignored.
template <typename Accept>
Exchange Ask(SOCKET s, const std::vector<uint8_t>& request, const std::atomic<bool>& stop,
             const UdpTrackerTiming& timing, Accept&& accept) {
    std::vector<uint8_t> buffer(kUdpMaxReplyBytes + 1);
    DWORD waitMs = timing.firstWaitMs;
    for (int attempt = 0; attempt < timing.tries; ++attempt, waitMs *= 2) {
        if (::send(s, reinterpret_cast<const char*>(request.data()), int(request.size()), 0) != int(request.size()))
            return Exchange::kSilent;
        const ULONGLONG deadline = ::GetTickCount64() + waitMs;
        for (;;) {
            if (stop.load()) return Exchange::kStopped;
            const ULONGLONG now = ::GetTickCount64();
            if (now >= deadline) break;
            const DWORD slice = DWORD(deadline - now < kSliceMs ? deadline - now : kSliceMs);
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(s, &readable);
            timeval tv = {long(slice / 1000), long((slice % 1000) * 1000)};
            const int ready = ::select(0, &readable, nullptr, nullptr, &tv);
            if (ready < 0) return Exchange::kSilent;
            if (ready == 0) continue;
            const int got = ::recv(s, reinterpret_cast<char*>(buffer.data()), int(buffer.size()), 0);
            // A refused port (the tracker is not running) answers with an
            // error at once: no point in waiting.
            if (got < 0) {
                if (::WSAGetLastError() == WSAEMSGSIZE) continue;  // too large for any answer of ours
                return Exchange::kSilent;
            }
            const UdpReply reply = accept(buffer.data(), size_t(got));
            if (reply == UdpReply::kAnswer) return Exchange::kAnswered;
            if (reply == UdpReply::kRefused) return Exchange::kRefused;
        }
    }
    return Exchange::kSilent;
}

}  // namespace

bool UdpAnnounce(const std::string& url, const AnnounceParams& params, const std::atomic<bool>& stop,
                 AnnounceReply* reply, const UdpTrackerTiming& timing) {
    std::string host;
    uint16_t port = 0;
    if (!ParseUdpTrackerUrl(url, &host, &port)) return false;
    WinsockUse winsock;
    if (!winsock.ok()) return false;

    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_protocol = IPPROTO_UDP;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) return false;
    ScopedSocket s(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    const bool connected = s && ::connect(s.get(), found->ai_addr, int(found->ai_addrlen)) == 0;
    ::freeaddrinfo(found);
    if (!connected) return false;

    uint64_t connectionId = 0;
    std::string failure;
    uint32_t transaction = NewTransactionId();
    Exchange step = Ask(s.get(), BuildUdpConnect(transaction), stop, timing, [&](const uint8_t* data, size_t size) {
        return ParseUdpConnectReply(data, size, transaction, &connectionId, &failure);
    });
    if (step == Exchange::kRefused) {
        *reply = AnnounceReply();
        reply->failure = failure;
        return true;
    }
    if (step != Exchange::kAnswered) return false;

    transaction = NewTransactionId();
    step = Ask(s.get(), BuildUdpAnnounce(connectionId, transaction, params), stop, timing,
               [&](const uint8_t* data, size_t size) { return ParseUdpAnnounceReply(data, size, transaction, reply); });
    return step == Exchange::kAnswered || step == Exchange::kRefused;
}
