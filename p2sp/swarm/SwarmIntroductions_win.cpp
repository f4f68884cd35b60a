// Introductions (ut_holepunch): a peer that cannot dial another asks one
// connected to both; that one tells each end of the other, and both dial
// over uTP at once. Bounded: each peer may ask (or hand us) so many a
// minute, may ask only for peers we told it of, and we act only on usable
// addresses we are not connected to.
#include "p2sp/swarm/SwarmLoop.h"

#include "p2sp/swarm/PeerCandidates.h"
#include "p2sp/swarm/SwarmTrace.h"

PeerAddress SwarmLoop::DialBack(const PeerLink& p) const {
    if (p.outgoing) return p.address;
    return PeerAddress{p.address.ip, p.extended.listenPort};
}

bool SwarmLoop::LinkedTo(const PeerAddress& a, bool pendingTcp) const {
    for (const auto& q : peers_) {
        if (q->stage == PeerLink::Stage::kClosed || !(q->address == a || DialBack(*q) == a)) continue;
        if (pendingTcp || q->utp || q->stage != PeerLink::Stage::kConnecting) return true;
    }
    return false;
}

bool SwarmLoop::Introduced(const IpAddress& ip, uint64_t now) {
    for (auto it = introductions_.begin(); it != introductions_.end();)
        it = it->second < now ? introductions_.erase(it) : std::next(it);
    return introductions_.count(ip) != 0;
}

void SwarmLoop::SendHolePunch(PeerLink& p, const HolePunchMessage& m) {
    if (p.extended.holepunchId == 0 || p.stage != PeerLink::Stage::kActive) return;
    AppendExtended(p.extended.holepunchId, HolePunchPayload(m), &p.out);
    Flush(p);
}

void SwarmLoop::AskIntroduction(const PeerAddress& a, uint64_t now) {
    if (!UtpAllowed() || !a.ip.IsV4()) return;
    auto told = told_.find(a);
    if (told == told_.end() || !(told->second.flags & kPexHolepunch) || LinkedTo(a, false)) return;
    if (told->second.askedMs && now - told->second.askedMs < kAskAgainMs) return;
    for (auto& q : peers_) {
        if (q->id != told->second.teller || q->stage != PeerLink::Stage::kActive || !q->extended.holepunchId) continue;
        if (!TakePunch(&q->punchesMs, now)) return;
        told->second.askedMs = now;
        HolePunchMessage m;
        m.type = HolePunchType::kRendezvous;
        m.endpoint = a;
        SwarmTrace("ask peer %d to introduce %s", q->id, PeerAddressTrace(a).c_str());
        SendHolePunch(*q, m);
        return;
    }
}

bool SwarmLoop::HandleHolePunch(PeerLink& p, const PeerMessage& m) {
    HolePunchMessage in;
    if (!ParseHolePunch(m.payload, m.payloadSize, &in)) return false;
    const uint64_t now = Now();
    if (!UtpAllowed() || !TakePunch(&p.punchesMs, now)) return true;  // not heard
    switch (in.type) {
    case HolePunchType::kConnect: {
        // Dial it at once: its dial to us arrives through our router's
        // door that ours opens.
        const PeerAddress& a = in.endpoint;
        SwarmTrace("peer %d introduces %s", p.id, PeerAddressTrace(a).c_str());
        if (!a.ip.IsV4() || !PeerAddressUsable(a, options_.allowLoopback) || bans_.Banned(a.ip) || LinkedTo(a, false) ||
            ConnectionsWith(a.ip) >= options_.maxPerAddress || peers_.size() >= size_t(std::min(options_.maxPeers, 60)))
            return true;
        introductions_[a.ip] = now + kIntroductionMs;
        DialUtp(a, now, true, true);
        return true;
    }
    case HolePunchType::kError:
        SwarmTrace("peer %d cannot introduce %s (%u)", p.id, PeerAddressTrace(in.endpoint).c_str(),
                   unsigned(in.error));
        return true;
    case HolePunchType::kRendezvous: break;
    }
    // Asked to introduce: only to a peer we told it of, connected now, that
    // takes introductions.
    HolePunchMessage answer;
    answer.endpoint = in.endpoint;
    answer.type = HolePunchType::kError;
    const PeerAddress self = DialBack(p);
    PeerLink* target = nullptr;
    for (auto& q : peers_)
        if (q.get() != &p && q->stage == PeerLink::Stage::kActive && DialBack(*q) == in.endpoint) target = q.get();
    if (in.endpoint == self) answer.error = kPunchNoSelf;
    else if (!p.told.count(in.endpoint)) answer.error = kPunchNoSuchPeer;
    else if (!target) answer.error = kPunchNotConnected;
    else if (!target->extended.holepunchId) answer.error = kPunchNoSupport;
    if (answer.error || self.port == 0) {
        if (!answer.error) answer.error = kPunchNoSuchPeer;  // we cannot say where it listens
        SendHolePunch(p, answer);
        return true;
    }
    SwarmTrace("introduce peer %d and peer %d", p.id, target->id);
    HolePunchMessage connect;
    connect.type = HolePunchType::kConnect;
    connect.endpoint = in.endpoint;
    SendHolePunch(p, connect);
    connect.endpoint = self;
    SendHolePunch(*target, connect);
    return true;
}
