#include "p2sp/swarm/SwarmLoop.h"

#include "p2sp/swarm/PeerCandidates.h"
#include "p2sp/swarm/PeerSockaddr_win.h"
#include "p2sp/swarm/SwarmTrace.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>

namespace {

bool NonBlocking(SOCKET s) {
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}

// A listening socket at `at`, or an invalid one.
ScopedSocket Listening(const sockaddr_storage& at, int length) {
    ScopedSocket s(socket(at.ss_family, SOCK_STREAM, IPPROTO_TCP));
    if (!s.valid()) return s;
    BOOL on = TRUE;
    setsockopt(s.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof(on));
    // IPv4 has a socket of its own: this one takes IPv6 only.
    if (at.ss_family == AF_INET6)
        setsockopt(s.get(), IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&on), sizeof(on));
    if (bind(s.get(), reinterpret_cast<const sockaddr*>(&at), length) != 0 || listen(s.get(), 16) != 0 ||
        !NonBlocking(s.get()))
        s.reset();
    return s;
}

}  // namespace

void SwarmLoop::Listen() {
    for (uint32_t port = options_.firstPort; port <= options_.lastPort; ++port) {
        sockaddr_storage at;
        int length = 0;
        ToSockaddr(PeerAddress::V4(options_.listenAddress, uint16_t(port)), &at, &length);
        ScopedSocket s = Listening(at, length);
        if (!s.valid()) continue;
        listener_.reset(s.release());
        listenPort_ = uint16_t(port);
        break;
    }
    // No port free: outgoing connections only; they carry pieces both ways.
    if (!listener_.valid()) return;
    if (options_.utp != UtpMode::kOff) OpenUtp();
    if (!TcpAllowed()) {
        listener_.reset();  // the port stays ours through the UDP socket
        return;
    }
    // The same port over IPv6: every interface when IPv4 listens on every
    // one, loopback when it listens on loopback, none for another address.
    PeerAddress v6;
    v6.port = listenPort_;
    if ((options_.listenAddress >> 24) == 127) v6.ip.bytes[15] = 1;
    else if (options_.listenAddress != 0) return;
    sockaddr_storage at;
    int length = 0;
    ToSockaddr(v6, &at, &length);
    listener6_ = Listening(at, length);
    SwarmTrace(listener6_.valid() ? "listening on IPv6 too" : "no IPv6 listener (%d)", WSAGetLastError());
}

void SwarmLoop::Dial(uint64_t now) {
    for (const PeerAddress& a : tracker_->TakePeers()) {
        exchanged_.erase(a);  // the tracker knows it too
        if (candidates_.Knows(a)) continue;
        if (candidates_.Add(a)) SwarmTrace("candidate %s", PeerAddressTrace(a).c_str());
    }
    const size_t most = size_t(std::min(options_.maxPeers, 60));
    // Dials over the other transport, after the first failed to connect.
    std::vector<std::pair<PeerAddress, bool>> redials;
    redials.swap(redials_);
    for (const auto& r : redials) {
        if (peers_.size() >= most || LinkedTo(r.first)) continue;
        if (r.second) DialUtp(r.first, now, true, false);
        else DialTcp(r.first, now, true);
    }
    if (peers_.size() >= most) return;
    const auto skip = [&](const PeerAddress& a) {
        // Connected either way: an accepted peer listens there too.
        if (bans_.Banned(a.ip) || LinkedTo(a)) return true;
        if (ConnectionsWith(a.ip) >= options_.maxPerAddress) return true;
        // Ourselves, as the tracker lists us: at our router's address, or
        // where we listen.
        if (ourAddresses_.count(a.ip) && (a.port == listenPort_ || a.port == mapped_.externalPort)) return true;
        if (!listenPort_ || a.port != listenPort_) return false;
        if (a.ip.IsV4()) return a.ip.V4Value() == options_.listenAddress || (a.ip.V4Value() >> 24) == 127;
        return a.ip == IpAddress::V6(reinterpret_cast<const uint8_t*>(&in6addr_loopback));
    };
    for (const PeerAddress& a : candidates_.Due(now, std::min(kDialsPerSync, most - peers_.size()), skip)) {
        // uTP first where peer exchange said the peer speaks it (uTP over
        // IPv4 only), TCP first otherwise.
        const auto told = told_.find(a);
        const bool utpFirst = UtpAllowed() && a.ip.IsV4() &&
                              (!TcpAllowed() || (told != told_.end() && (told->second.flags & kPexUtp)));
        if (utpFirst) DialUtp(a, now, false, false);
        else if (TcpAllowed()) DialTcp(a, now, false);
    }
}

void SwarmLoop::DialTcp(const PeerAddress& a, uint64_t now, bool secondTry) {
    sockaddr_storage to;
    int length = 0;
    ToSockaddr(a, &to, &length);
    ScopedSocket s(socket(to.ss_family, SOCK_STREAM, IPPROTO_TCP));
    if (!s.valid() || !NonBlocking(s.get())) {
        // No socket of this family (a system without IPv6): not the peer's fault.
        if (!s.valid()) candidates_.Forget(a);
        return;
    }
    // Listening on one IPv4 address, we dial from it too: peers see the
    // address they can dial back, and a machine with several keeps its
    // swarm on the one it was given.
    if (options_.listenAddress != 0 && a.ip.IsV4()) {
        sockaddr_storage from;
        int fromLength = 0;
        ToSockaddr(PeerAddress::V4(options_.listenAddress, 0), &from, &fromLength);
        bind(s.get(), reinterpret_cast<sockaddr*>(&from), fromLength);
    }
    if (connect(s.get(), reinterpret_cast<sockaddr*>(&to), length) != 0 && WSAGetLastError() != WSAEWOULDBLOCK) {
        SwarmTrace("dial %s failed %d", PeerAddressTrace(a).c_str(), WSAGetLastError());
        candidates_.Failed(a);
        return;
    }
    SwarmTrace("dial %s", PeerAddressTrace(a).c_str());
    PeerLink& p = AddDialled(a, now);
    p.socket.reset(s.release());
    p.secondTry = secondTry;
}

PeerLink& SwarmLoop::AddDialled(const PeerAddress& a, uint64_t now) {
    PeerPtr p(new PeerLink);
    p->id = nextPeerId_++;
    p->address = a;
    p->outgoing = true;
    p->exchanged = exchanged_.count(a) != 0;
    p->stage = PeerLink::Stage::kConnecting;
    p->openedMs = p->lastReceiveMs = p->lastSendMs = now;
    peers_.push_back(std::move(p));
    return *peers_.back();
}

int SwarmLoop::ConnectionsWith(const IpAddress& ip) const {
    const IpAddress host = ip.Host();
    int n = 0;
    for (const auto& p : peers_) n += p->address.ip.Host() == host && p->stage != PeerLink::Stage::kClosed ? 1 : 0;
    return n;
}

void SwarmLoop::Accept(SOCKET listener) {
    for (;;) {
        sockaddr_storage from;
        int length = sizeof(from);
        SOCKET s = accept(listener, reinterpret_cast<sockaddr*>(&from), &length);
        if (s == INVALID_SOCKET) return;
        ScopedSocket owned(s);
        PeerAddress a;
        if (!FromSockaddr(from, &a)) continue;
        // Refused before a byte is read: a banned host, one that has its
        // share of our slots already, addresses no peer has, or no room.
        if (bans_.Banned(a.ip)) {
            SwarmTrace("refused banned %s", PeerAddressTrace(a).c_str());
            continue;
        }
        if (!PeerAddressUsable(a, options_.allowLoopback) || ConnectionsWith(a.ip) >= options_.maxPerAddress ||
            peers_.size() >= size_t(std::min(options_.maxPeers, 60)) || !NonBlocking(s))
            continue;
        PeerPtr p(new PeerLink);
        p->id = nextPeerId_++;
        p->address = a;
        p->socket.reset(owned.release());
        p->stage = PeerLink::Stage::kHandshake;
        p->openedMs = p->lastReceiveMs = p->lastSendMs = Now();
        SwarmTrace("accepted peer %d %s", p->id, PeerAddressTrace(a).c_str());
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
    for (const ScopedSocket* l : {&listener_, &listener6_}) {
        if (!l->valid()) continue;
        FD_SET(l->get(), &readable);
        ++count;
    }
    if (udp_.valid()) {
        FD_SET(udp_.get(), &readable);
        ++count;
    }
    for (auto& p : peers_) {
        if (p->stage == PeerLink::Stage::kClosed || p->utp || count >= FD_SETSIZE) continue;
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
    // uTP's timers want a short wait.
    timeval wait = {0, udp_.valid() ? kSelectMicroseconds / 5 : kSelectMicroseconds};
    const int ready = select(0, &readable, &writable, &failed, &wait);
    if (ready > 0 && udp_.valid() && FD_ISSET(udp_.get(), &readable)) ReceiveDatagrams();
    for (size_t i = 0; i < peers_.size(); ++i)
        if (peers_[i]->utp && peers_[i]->stage != PeerLink::Stage::kClosed) ServiceUtp(*peers_[i]);
    if (ready <= 0) return;
    for (const ScopedSocket* l : {&listener_, &listener6_})
        if (l->valid() && FD_ISSET(l->get(), &readable)) Accept(l->get());
    for (size_t i = 0; i < peers_.size(); ++i) {
        PeerLink& p = *peers_[i];
        if (p.stage == PeerLink::Stage::kClosed || p.utp) continue;
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
    if (p.utp) {
        ReceiveUtp(p);
        return;
    }
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
    if (p.utp) {
        FlushUtp(p);
        return;
    }
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
    p.DropSent();
}

void SwarmLoop::Close(PeerLink& p, const char* why) {
    if (p.stage == PeerLink::Stage::kClosed) return;
    SwarmTrace("close peer %d %s: %s (got %llu sent %llu)", p.id, PeerAddressTrace(p.address).c_str(), why,
               static_cast<unsigned long long>(p.downloaded), static_cast<unsigned long long>(p.uploaded));
    if (p.outgoing && p.stage == PeerLink::Stage::kConnecting) DialFailed(p);
    // A dial that connected but never reached the handshake counts against the address.
    else if (p.outgoing && p.stage != PeerLink::Stage::kActive) candidates_.Failed(p.address);
    if (p.stage == PeerLink::Stage::kActive) picker_.PeerHasAll(p.has, -1);
    picker_.PeerGone(p.id);
    p.asked.clear();
    p.wanted.clear();
    p.stage = PeerLink::Stage::kClosed;
    p.socket.reset();
    if (p.utp) {
        // A FIN goes out at once; what answers it later finds no link and is dropped.
        p.utp->Close(NowUs());
        SendDatagrams(p);
        p.utp.reset();
    }
    // Pieces nobody is asked for now go back to the other sources soon
    // (HandBackStalled); what of them arrived is fetched again whole.
}

void SwarmLoop::DialFailed(PeerLink& p) {
    const bool overUtp = p.utp != nullptr;
    if (p.introduced) return;  // the introduction was the last try
    // A peer behind a router that lets nothing in, and that takes
    // introductions: no use trying TCP; asked through the peer that told of it.
    const auto told = told_.find(p.address);
    const bool unreachable = told != told_.end() && (told->second.flags & kPexHolepunch) &&
                             !(told->second.flags & kPexReachable);
    if (!p.secondTry && !(overUtp && unreachable) && (overUtp ? TcpAllowed() : UtpAllowed() && p.address.ip.IsV4())) {
        redials_.emplace_back(p.address, !overUtp);
        return;
    }
    candidates_.Failed(p.address);
    AskIntroduction(p.address, Now());
}

void SwarmLoop::Reap() {
    peers_.erase(std::remove_if(peers_.begin(), peers_.end(),
                                [](const PeerPtr& p) { return p->stage == PeerLink::Stage::kClosed; }),
                 peers_.end());
}

void SwarmLoop::Housekeep(PeerLink& p, uint64_t now) {
    if (p.stage == PeerLink::Stage::kClosed) return;
    if (p.stage != PeerLink::Stage::kActive) {
        // A uTP dial times out by itself (UtpSocket::kConnectTimeoutUs).
        if (p.stage == PeerLink::Stage::kConnecting && !p.utp && Since(now, p.openedMs) > kConnectTimeoutMs)
            Close(p, "connect timed out");
        else if (Since(now, p.openedMs) > kHandshakeTimeoutMs)
            Close(p, "no handshake");
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
