#include "p2sp/swarm/SwarmLoop.h"

#include "p2sp/swarm/PeerCandidates.h"
#include "p2sp/swarm/SwarmTrace.h"

#include <algorithm>

namespace {

bool NonBlocking(SOCKET s) {
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}

}  // namespace

void SwarmLoop::Listen() {
    for (uint32_t port = options_.firstPort; port <= options_.lastPort; ++port) {
        ScopedSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        if (!s.valid()) return;
        BOOL exclusive = TRUE;
        setsockopt(s.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                   sizeof(exclusive));
        sockaddr_in at;
        ZeroMemory(&at, sizeof(at));
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(options_.listenAddress);
        at.sin_port = htons(uint16_t(port));
        if (bind(s.get(), reinterpret_cast<sockaddr*>(&at), sizeof(at)) != 0) continue;
        if (listen(s.get(), 16) != 0 || !NonBlocking(s.get())) continue;
        listener_.reset(s.release());
        listenPort_ = uint16_t(port);
        return;
    }
    // No port free: outgoing connections only; they carry pieces both ways.
}

void SwarmLoop::Dial(uint64_t now) {
    for (const PeerAddress& a : tracker_->TakePeers()) {
        exchanged_.erase(a);  // the tracker knows it too
        if (candidates_.Knows(a)) continue;
        if (candidates_.Add(a)) SwarmTrace("candidate %08x:%u", a.ipv4, a.port);
    }
    const size_t most = size_t(std::min(options_.maxPeers, 60));
    if (peers_.size() >= most) return;
    const auto skip = [&](const PeerAddress& a) {
        if (bans_.Banned(a.ipv4) || Connected(a)) return true;
        if (ConnectionsWith(a.ipv4) >= options_.maxPerAddress) return true;
        // Ourselves, as the tracker lists us.
        return listenPort_ && a.port == listenPort_ && (a.ipv4 == options_.listenAddress || (a.ipv4 >> 24) == 127);
    };
    for (const PeerAddress& a : candidates_.Due(now, std::min(kDialsPerSync, most - peers_.size()), skip)) {
        ScopedSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        if (!s.valid() || !NonBlocking(s.get())) continue;
        sockaddr_in to;
        ZeroMemory(&to, sizeof(to));
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(a.ipv4);
        to.sin_port = htons(a.port);
        if (connect(s.get(), reinterpret_cast<sockaddr*>(&to), sizeof(to)) != 0 &&
            WSAGetLastError() != WSAEWOULDBLOCK) {
            SwarmTrace("dial %08x:%u failed %d", a.ipv4, a.port, WSAGetLastError());
            candidates_.Failed(a);
            continue;
        }
        SwarmTrace("dial %08x:%u", a.ipv4, a.port);
        PeerPtr p(new PeerLink);
        p->id = nextPeerId_++;
        p->address = a;
        p->outgoing = true;
        p->exchanged = exchanged_.count(a) != 0;
        p->socket.reset(s.release());
        p->stage = PeerLink::Stage::kConnecting;
        p->openedMs = p->lastReceiveMs = p->lastSendMs = now;
        peers_.push_back(std::move(p));
    }
}

bool SwarmLoop::Connected(const PeerAddress& a) const {
    for (const auto& p : peers_)
        if (p->outgoing && p->address == a && p->stage != PeerLink::Stage::kClosed) return true;
    return false;
}

int SwarmLoop::ConnectionsWith(uint32_t ipv4) const {
    int n = 0;
    for (const auto& p : peers_) n += p->address.ipv4 == ipv4 && p->stage != PeerLink::Stage::kClosed ? 1 : 0;
    return n;
}

void SwarmLoop::Accept() {
    for (;;) {
        sockaddr_in from;
        int length = sizeof(from);
        SOCKET s = accept(listener_.get(), reinterpret_cast<sockaddr*>(&from), &length);
        if (s == INVALID_SOCKET) return;
        ScopedSocket owned(s);
        PeerAddress a;
        a.ipv4 = ntohl(from.sin_addr.s_addr);
        a.port = ntohs(from.sin_port);
        // Refused before a byte is read: a banned host, one that has its
        // share of our slots already, addresses no peer has, or no room.
        if (bans_.Banned(a.ipv4)) {
            SwarmTrace("refused banned %08x", a.ipv4);
            continue;
        }
        if (!PeerAddressUsable(a, options_.allowLoopback) || ConnectionsWith(a.ipv4) >= options_.maxPerAddress ||
            peers_.size() >= size_t(std::min(options_.maxPeers, 60)) || !NonBlocking(s))
            continue;
        PeerPtr p(new PeerLink);
        p->id = nextPeerId_++;
        p->address = a;
        p->socket.reset(owned.release());
        p->stage = PeerLink::Stage::kHandshake;
        p->openedMs = p->lastReceiveMs = p->lastSendMs = Now();
        SwarmTrace("accepted peer %d %08x:%u", p->id, a.ipv4, a.port);
        SendHandshake(*p);
        peers_.push_back(std::move(p));
    }
}

void SwarmLoop::Poll() {
    fd_set readable, writable, failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    int count = 0;
    if (listener_.valid()) {
        FD_SET(listener_.get(), &readable);
        ++count;
    }
    for (auto& p : peers_) {
        if (p->stage == PeerLink::Stage::kClosed || count >= FD_SETSIZE) continue;
        SOCKET s = p->socket.get();
        if (p->stage == PeerLink::Stage::kConnecting) {
            FD_SET(s, &writable);
            FD_SET(s, &failed);
        } else {
            FD_SET(s, &readable);
            if (p->Pending() > 0) FD_SET(s, &writable);
        }
        ++count;
    }
    if (count == 0) {
        Sleep(kSelectMicroseconds / 1000);
        return;
    }
    timeval wait = {0, kSelectMicroseconds};
    if (select(0, &readable, &writable, &failed, &wait) <= 0) return;
    if (listener_.valid() && FD_ISSET(listener_.get(), &readable)) Accept();
    for (size_t i = 0; i < peers_.size(); ++i) {
        PeerLink& p = *peers_[i];
        if (p.stage == PeerLink::Stage::kClosed) continue;
        SOCKET s = p.socket.get();
        if (p.stage == PeerLink::Stage::kConnecting) {
            if (FD_ISSET(s, &failed)) {
                Close(p, "connect failed");
            } else if (FD_ISSET(s, &writable)) {
                p.stage = PeerLink::Stage::kHandshake;
                SendHandshake(p);
            }
            continue;
        }
        if (FD_ISSET(s, &readable)) Receive(p);
        if (p.stage != PeerLink::Stage::kClosed && FD_ISSET(s, &writable)) Flush(p);
    }
}

void SwarmLoop::Receive(PeerLink& p) {
    size_t total = 0;
    while (total < kMaxReceivePerRound && p.stage != PeerLink::Stage::kClosed) {
        size_t old = p.in.size();
        p.in.resize(old + kReceiveChunk);
        int got = recv(p.socket.get(), reinterpret_cast<char*>(p.in.data() + old), int(kReceiveChunk), 0);
        if (got <= 0) {
            p.in.resize(old);
            if (got == 0 || WSAGetLastError() != WSAEWOULDBLOCK) Close(p, got == 0 ? "closed by peer" : "receive failed");
            break;
        }
        p.in.resize(old + size_t(got));
        total += size_t(got);
        p.lastReceiveMs = Now();
        Parse(p);
    }
}

void SwarmLoop::Flush(PeerLink& p) {
    while (p.Pending() > 0) {
        int sent = send(p.socket.get(), reinterpret_cast<const char*>(p.out.data() + p.outSent),
                        int(std::min<size_t>(p.Pending(), 1u << 20)), 0);
        if (sent <= 0) {
            if (sent < 0 && WSAGetLastError() != WSAEWOULDBLOCK) Close(p, "send failed");
            break;
        }
        p.outSent += size_t(sent);
        p.lastSendMs = Now();
    }
    if (p.outSent == p.out.size()) {
        p.out.clear();
        p.outSent = 0;
    } else if (p.outSent > (1u << 20)) {
        p.out.erase(p.out.begin(), p.out.begin() + ptrdiff_t(p.outSent));
        p.outSent = 0;
    }
}

void SwarmLoop::Close(PeerLink& p, const char* why) {
    if (p.stage == PeerLink::Stage::kClosed) return;
    SwarmTrace("close peer %d %08x:%u: %s", p.id, p.address.ipv4, p.address.port, why);
    // A dial that never reached the handshake counts against the address.
    if (p.outgoing && p.stage != PeerLink::Stage::kActive) candidates_.Failed(p.address);
    if (p.stage == PeerLink::Stage::kActive) picker_.PeerHasAll(p.has, -1);
    picker_.PeerGone(p.id);
    p.asked.clear();
    p.wanted.clear();
    p.stage = PeerLink::Stage::kClosed;
    p.socket.reset();
    // Pieces nobody is asked for now go back to the other sources soon
    // (HandBackStalled); what of them arrived is fetched again whole.
}

void SwarmLoop::Reap() {
    peers_.erase(std::remove_if(peers_.begin(), peers_.end(),
                                [](const PeerPtr& p) { return p->stage == PeerLink::Stage::kClosed; }),
                 peers_.end());
}

void SwarmLoop::Housekeep(PeerLink& p, uint64_t now) {
    if (p.stage == PeerLink::Stage::kClosed) return;
    if (p.stage != PeerLink::Stage::kActive) {
        if (Since(now, p.openedMs) > kHandshakeTimeoutMs) Close(p, "no handshake");
        return;
    }
    if (Since(now, p.lastReceiveMs) > kIdleTimeoutMs) {
        Close(p, "idle");
        return;
    }
    // Two seeds have nothing to say to each other.
    if (completedSeen_ && p.has.All()) {
        Close(p, "both seeds");
        return;
    }
    // Nothing given and nothing wanted for a while: keep-alives do not
    // keep a slot another peer could use.
    if (p.service.Useless(now, p.peerInterested)) {
        Close(p, "useless");
        return;
    }
    // Our requests unanswered too long: cancelled, so the blocks go to
    // others, and the peer is asked for nothing for a while.
    if (!p.asked.empty() && p.service.SnubDue(now)) {
        SwarmTrace("snub peer %d (%u requests)", p.id, unsigned(p.asked.size()));
        CancelAll(p);
        p.service.Snub(now);
    }
    if (Since(now, p.lastSendMs) > kKeepAliveMs && p.Pending() == 0) AppendKeepAlive(&p.out);
    if (p.Pending() > 0) Flush(p);
}
