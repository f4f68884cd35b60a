// uTP links: one UDP socket on the swarm's listening port (and address)
// carries every uTP connection of the swarm; packets go to the link whose
// connection id and address they carry, and a SYN from a new peer is
// accepted like a TCP connection, under the same checks.
#include "p2sp/swarm/SwarmLoop.h"

#include "p2sp/swarm/PeerCandidates.h"
#include "p2sp/swarm/PeerSockaddr_win.h"
#include "p2sp/swarm/SwarmTrace.h"

#include <mswsock.h>

#include <algorithm>

uint64_t SwarmLoop::NowUs() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart > 0 ? f.QuadPart : 1;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return uint64_t(now.QuadPart / frequency) * 1000000u +
           uint64_t(now.QuadPart % frequency) * 1000000u / uint64_t(frequency);
}

void SwarmLoop::OpenUtp() {
    sockaddr_storage at;
    int length = 0;
    ToSockaddr(PeerAddress::V4(options_.listenAddress, listenPort_), &at, &length);
    ScopedSocket s(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!s.valid()) return;
    BOOL on = TRUE;
    setsockopt(s.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof(on));
    // A datagram to a closed port must not fail the next receive (Windows
    // reports it there): peers come and go.
    BOOL off = FALSE;
    DWORD ignored = 0;
    WSAIoctl(s.get(), SIO_UDP_CONNRESET, &off, sizeof(off), nullptr, 0, &ignored, nullptr, nullptr);
    int buffer = 1 << 20;
    setsockopt(s.get(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&buffer), sizeof(buffer));
    setsockopt(s.get(), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&buffer), sizeof(buffer));
    u_long nonBlocking = 1;
    if (bind(s.get(), reinterpret_cast<const sockaddr*>(&at), length) != 0 ||
        ioctlsocket(s.get(), FIONBIO, &nonBlocking) != 0) {
        SwarmTrace("no uTP on port %u (%d)", unsigned(listenPort_), WSAGetLastError());
        return;
    }
    udp_.reset(s.release());
    datagram_.resize(65536);
    SwarmTrace("uTP on port %u", unsigned(listenPort_));
}

uint16_t SwarmLoop::NewUtpId(const PeerAddress& a) const {
    for (;;) {
        uint16_t id = 0;
        RandomBytes(reinterpret_cast<uint8_t*>(&id), sizeof(id));
        bool taken = false;
        for (const auto& p : peers_)
            taken = taken || (p->utp && p->address.ip == a.ip && (p->utp->ReceiveId() == id ||
                                                                 p->utp->ReceiveId() == uint16_t(id + 1)));
        if (!taken) return id;
    }
}

void SwarmLoop::DialUtp(const PeerAddress& a, uint64_t now, bool secondTry, bool introduced) {
    if (!UtpAllowed() || !a.ip.IsV4()) return;
    SwarmTrace("dial uTP %s%s", PeerAddressTrace(a).c_str(), introduced ? " (introduced)" : "");
    PeerLink& p = AddDialled(a, now);
    p.utp = UtpSocket::Dial(NewUtpId(a), NowUs());
    p.secondTry = secondTry;
    p.introduced = introduced;
    SendDatagrams(p);
}

void SwarmLoop::ReceiveDatagrams() {
    for (size_t n = 0; n < kDatagramsPerRound; ++n) {
        sockaddr_storage from;
        int fromLength = sizeof(from);
        const int got = recvfrom(udp_.get(), reinterpret_cast<char*>(datagram_.data()), int(datagram_.size()), 0,
                                 reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got < 0) {
            if (WSAGetLastError() == WSAEWOULDBLOCK) return;
            continue;  // an error about one datagram: the next may be fine
        }
        PeerAddress a;
        UtpHeader h;
        size_t offset = 0;
        if (!FromSockaddr(from, &a) || !ParseUtpPacket(datagram_.data(), size_t(got), &h, &offset)) continue;
        const uint64_t nowUs = NowUs();
        PeerLink* link = nullptr;
        for (auto& p : peers_)
            if (p->utp && p->stage != PeerLink::Stage::kClosed && p->address == a &&
                p->utp->ReceiveId() == (h.type == UtpType::kSyn ? uint16_t(h.connectionId + 1) : h.connectionId))
                link = p.get();
        if (link) {
            link->utp->Receive(h, datagram_.data() + offset, size_t(got) - offset, nowUs);
            link->lastReceiveMs = Now();
        } else if (h.type == UtpType::kSyn) {
            AcceptUtp(a, h, nowUs);
        }
    }
}

void SwarmLoop::AcceptUtp(const PeerAddress& from, const UtpHeader& syn, uint64_t nowUs) {
    // The checks of a TCP connection that arrives.
    if (bans_.Banned(from.ip) || !PeerAddressUsable(from, options_.allowLoopback) ||
        ConnectionsWith(from.ip) >= options_.maxPerAddress || peers_.size() >= size_t(std::min(options_.maxPeers, 60)))
        return;
    PeerPtr p(new PeerLink);
    p->id = nextPeerId_++;
    p->address = from;
    p->utp = UtpSocket::Accept(syn, nowUs);
    p->introduced = Introduced(from.ip, Now());
    p->stage = PeerLink::Stage::kHandshake;
    p->openedMs = p->lastReceiveMs = p->lastSendMs = Now();
    SwarmTrace("accepted uTP peer %d %s%s", p->id, PeerAddressTrace(from).c_str(),
               p->introduced ? " (introduced)" : "");
    SendDatagrams(*p);
    SendHandshake(*p);
    peers_.push_back(std::move(p));
}

void SwarmLoop::ServiceUtp(PeerLink& p) {
    p.utp->Tick(NowUs());
    const uint64_t now = Now();
    if (now - p.utpTracedMs >= 2000) {
        p.utpTracedMs = now;
        const UtpSocket::Figures f = p.utp->figures();
        SwarmTrace("uTP peer %d: rtt %u ms, window %u, delay %u ms, resent %llu, sent %llu, got %llu", p.id,
                   unsigned(f.rttUs / 1000), unsigned(f.windowBytes), unsigned(f.ourDelayUs / 1000),
                   static_cast<unsigned long long>(f.retransmits), static_cast<unsigned long long>(f.bytesSent),
                   static_cast<unsigned long long>(f.bytesReceived));
    }
    switch (p.utp->state()) {
    case UtpSocket::State::kConnected:
    case UtpSocket::State::kFinSent:
        if (p.stage == PeerLink::Stage::kConnecting) {
            p.stage = PeerLink::Stage::kHandshake;
            SendHandshake(p);
        }
        break;
    case UtpSocket::State::kSynSent: break;
    case UtpSocket::State::kClosed:
    case UtpSocket::State::kReset:
    case UtpSocket::State::kTimedOut: break;  // read out first, below
    }
    if (p.stage != PeerLink::Stage::kConnecting) {
        ReceiveUtp(p);
        if (p.stage != PeerLink::Stage::kClosed && p.Pending() > 0) FlushUtp(p);
    }
    if (p.stage == PeerLink::Stage::kClosed) return;
    if (p.utp->Ended() && p.utp->Readable() == 0) {
        const UtpSocket::State s = p.utp->state();
        Close(p, s == UtpSocket::State::kReset ? "uTP reset" : s == UtpSocket::State::kTimedOut ? "uTP timed out"
                                                                                                : "closed by peer");
        return;
    }
    SendDatagrams(p);
}

void SwarmLoop::ReceiveUtp(PeerLink& p) {
    size_t total = 0;
    while (total < kMaxReceivePerRound && p.stage != PeerLink::Stage::kClosed && p.utp->Readable() > 0) {
        const size_t old = p.in.size();
        p.in.resize(old + kReceiveChunk);
        const size_t got = p.utp->Read(p.in.data() + old, kReceiveChunk);
        p.in.resize(old + got);
        if (got == 0) break;
        total += got;
        p.lastReceiveMs = Now();
        Parse(p);
    }
}

void SwarmLoop::FlushUtp(PeerLink& p) {
    const uint64_t nowUs = NowUs();
    while (p.Pending() > 0) {
        const size_t taken = p.utp->Write(p.out.data() + p.outSent, p.Pending(), nowUs);
        if (taken == 0) break;
        p.outSent += taken;
        p.lastSendMs = Now();
    }
    p.DropSent();
    SendDatagrams(p);
}

void SwarmLoop::SendDatagrams(PeerLink& p) {
    auto& box = p.utp->Outbox();
    if (box.empty()) return;
    sockaddr_storage to;
    int length = 0;
    ToSockaddr(p.address, &to, &length);
    for (const std::vector<uint8_t>& d : box) {
        // A full socket buffer drops the datagram; uTP sends it again.
        sendto(udp_.get(), reinterpret_cast<const char*>(d.data()), int(d.size()), 0,
               reinterpret_cast<const sockaddr*>(&to), length);
    }
    box.clear();
}
