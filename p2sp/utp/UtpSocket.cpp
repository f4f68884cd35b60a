// The connection's states and what moves it between them: set-up, acks,
// the send loop, time-outs and the close. The parts it drives each keep one
// concern: UtpSender (packets in flight), UtpReceiver (in order and
// reordered), UtpRtt (round trip and time-out), UtpLedbat (the window).
#include "p2sp/utp/UtpSocket.h"

#include "p2sp/utp/UtpByteQueue.h"
#include "p2sp/utp/UtpLedbat.h"
#include "p2sp/utp/UtpRandom.h"
#include "p2sp/utp/UtpReceiver.h"
#include "p2sp/utp/UtpRtt.h"
#include "p2sp/utp/UtpSender.h"
#include "p2sp/utp/UtpSeq.h"

#include <algorithm>

namespace {

constexpr uint16_t kSynSeq = 1;  // the dialler's first sequence number
constexpr uint64_t kSynResendUs[] = {1000000, 3000000};
constexpr uint64_t kKeepAliveUs = 30000000;
// After our FIN is acked the peer may still be sending; without a FIN of its
// own, this long without a packet from it ends the connection.
constexpr uint64_t kFinLingerUs = 10000000;
constexpr size_t kMaxOutbox = 1024;  // datagrams the owner has not taken: more are dropped like on a full link
constexpr unsigned kAckEvery = 2;    // in-order packets per ack; a lone one is acked at the next Tick

}  // namespace

struct UtpSocket::Impl {
    State state = State::kSynSent;
    bool dialler = false;
    uint16_t receiveId = 0;
    uint16_t sendId = 0;
    uint16_t acceptedSynSeq = 0;

    UtpSender sender;
    UtpReceiver receiver{kReceiveBufferBytes};
    UtpByteQueue unsent;  // written, not yet in a packet
    UtpRtt rtt;
    UtpLedbat ledbat{uint32_t(kMaxPayload), uint32_t(kSendBufferBytes), kTargetDelayUs};
    std::deque<std::vector<uint8_t>> outbox;

    uint32_t replyMicroUs = 0;  // our clock at the peer's last packet minus its time stamp
    uint32_t peerWindow = 0;
    uint32_t advertisedWindow = 0;
    uint64_t nowUs = 0;  // the latest clock the owner gave
    uint64_t dialUs = 0;
    unsigned synResends = 0;
    uint64_t lastReceivedUs = 0;
    uint64_t lastSentUs = 0;
    uint64_t retransmitAtUs = 0;  // 0: no timer
    uint64_t probeAtUs = 0;       // 0: no zero-window probe waiting
    unsigned pendingAcks = 0;
    bool closeRequested = false;
    bool finQueued = false;
    uint16_t finSeq = 0;
    bool finAcked = false;

    uint64_t retransmits = 0;
    uint64_t bytesAcked = 0;

    // Sending.
    UtpHeader MakeHeader(UtpType type, uint16_t seq);
    void Emit(const UtpHeader& header, const uint8_t* payload, size_t size);
    void SendSyn();
    void SendState();
    void SendReset();
    void TrySend();
    bool SendResends(size_t allowed);
    bool SendNewData(size_t allowed);
    void SendPacket(UtpType type, std::vector<uint8_t> payload);
    void ArmRetransmit();

    // Receiving.
    void OnPacket(const UtpHeader& header, const uint8_t* payload, size_t size);
    bool TakeConnection(const UtpHeader& header);
    void HandleAck(const UtpHeader& header, size_t payloadSize);
    void HandleData(const UtpHeader& header, const uint8_t* payload, size_t size);
    void HandleFin(const UtpHeader& header);
    void HandleSyn(const UtpHeader& header);

    // Time.
    void TickSynSent();
    void TickOpen();
    void OnTimeout();
    void UpdateClosed();

    bool Sending() const { return state == State::kConnected || state == State::kFinSent; }
    // A clock that went back would read as a very long wait: it stands still instead.
    void SetClock(uint64_t now) { nowUs = std::max(nowUs, now); }
};

// ---- sending ---------------------------------------------------------------

UtpHeader UtpSocket::Impl::MakeHeader(UtpType type, uint16_t seq) {
    UtpHeader h;
    h.type = type;
    h.connectionId = type == UtpType::kSyn ? receiveId : sendId;
    h.timestampUs = uint32_t(nowUs);
    h.timestampDiffUs = replyMicroUs;
    h.windowSize = uint32_t(receiver.FreeWindow());
    h.seqNr = seq;
    h.ackNr = receiver.ackNr();
    if (type != UtpType::kSyn) h.sackBytes = receiver.BuildSack(h.sack);
    advertisedWindow = h.windowSize;
    return h;
}

void UtpSocket::Impl::Emit(const UtpHeader& header, const uint8_t* payload, size_t size) {
    lastSentUs = nowUs;
    if (header.type != UtpType::kSyn) pendingAcks = 0;  // every packet carries the ack
    if (outbox.size() >= kMaxOutbox) return;
    std::vector<uint8_t> datagram(kUtpMaxHeaderBytes + size);
    const size_t headerBytes = WriteUtpHeader(header, datagram.data());
    std::copy(payload, payload + size, datagram.begin() + headerBytes);
    datagram.resize(headerBytes + size);
    outbox.push_back(std::move(datagram));
}

void UtpSocket::Impl::SendSyn() { Emit(MakeHeader(UtpType::kSyn, kSynSeq), nullptr, 0); }

// An ST_STATE carries the next sequence number we will use without taking it.
void UtpSocket::Impl::SendState() { Emit(MakeHeader(UtpType::kState, sender.nextSeq()), nullptr, 0); }

void UtpSocket::Impl::SendReset() { Emit(MakeHeader(UtpType::kReset, sender.nextSeq()), nullptr, 0); }

void UtpSocket::Impl::ArmRetransmit() {
    if (retransmitAtUs == 0) retransmitAtUs = nowUs + rtt.TimeoutUs();
}

void UtpSocket::Impl::SendPacket(UtpType type, std::vector<uint8_t> payload) {
    const UtpHeader header = MakeHeader(type, sender.nextSeq());
    Emit(header, payload.data(), payload.size());
    sender.Add(type, std::move(payload), nowUs);
    ArmRetransmit();
}

// Packets marked after a loss or a time-out go first, oldest first. When
// nothing is in flight one always goes, whatever the windows say: the
// probe of a closed window, or the first packet after a time-out.
bool UtpSocket::Impl::SendResends(size_t allowed) {
    uint16_t seq = 0;
    while (UtpSender::Packet* packet = sender.NextResend(&seq)) {
        const size_t flight = sender.FlightBytes();
        if (flight > 0 && flight + packet->payload.size() > allowed) return false;
        UtpHeader header = MakeHeader(packet->type, seq);
        Emit(header, packet->payload.data(), packet->payload.size());
        sender.SentAgain(*packet, nowUs);
        ++retransmits;
        ArmRetransmit();
    }
    return true;
}

bool UtpSocket::Impl::SendNewData(size_t allowed) {
    while (!unsent.empty() && !sender.Full()) {
        const size_t flight = sender.FlightBytes();
        const size_t room = allowed > flight ? allowed - flight : 0;
        size_t chunk = std::min(kMaxPayload, unsent.size());
        if (chunk > room) {
            if (flight > 0) return false;  // the acks of what is out open the window
            if (peerWindow == 0) {
                // A closed window: one probe after a time-out, whose answer
                // tells the window again.
                if (probeAtUs == 0) probeAtUs = nowUs + rtt.TimeoutUs();
                if (nowUs < probeAtUs) return false;
            } else {
                chunk = room;  // the peer's window is under one packet: fill it
            }
        }
        probeAtUs = 0;
        std::vector<uint8_t> payload(chunk);
        unsent.Take(payload.data(), chunk);
        SendPacket(UtpType::kData, std::move(payload));
    }
    return unsent.empty();
}

void UtpSocket::Impl::TrySend() {
    if (!Sending()) return;
    const size_t allowed = std::min<size_t>(ledbat.window(), peerWindow);
    if (!SendResends(allowed) || !SendNewData(allowed)) return;
    if (closeRequested && !finQueued && !sender.Full()) {
        finQueued = true;
        finSeq = sender.nextSeq();
        SendPacket(UtpType::kFin, {});
    }
}

// ---- receiving -------------------------------------------------------------

void UtpSocket::Impl::OnPacket(const UtpHeader& header, const uint8_t* payload, size_t size) {
    if (state == State::kClosed && header.connectionId == receiveId && header.type == UtpType::kFin) {
        SendState();  // our ack of its FIN was lost while the owner still keeps us: ack again
        return;
    }
    if (!Sending() && state != State::kSynSent) return;
    if (header.type == UtpType::kSyn) {
        HandleSyn(header);
        return;
    }
    if (header.connectionId != receiveId) return;
    if (header.type == UtpType::kReset) {
        state = State::kReset;
        return;
    }
    if (state == State::kSynSent && !TakeConnection(header)) return;
    lastReceivedUs = nowUs;
    replyMicroUs = uint32_t(nowUs) - header.timestampUs;
    peerWindow = header.windowSize;
    ledbat.AddDelaySample(header.timestampDiffUs, nowUs);
    HandleAck(header, size);
    if (header.type == UtpType::kData) HandleData(header, payload, size);
    if (header.type == UtpType::kFin) HandleFin(header);
    TrySend();
    UpdateClosed();
}

// The dialler's SYN is answered by an ST_STATE acking it (or, should that
// be lost, by the acceptor's first data): its seq_nr is the acceptor's next.
bool UtpSocket::Impl::TakeConnection(const UtpHeader& header) {
    if (header.ackNr != kSynSeq || header.type == UtpType::kSyn) return false;
    state = State::kConnected;
    receiver.Start(uint16_t(header.seqNr - 1));
    if (synResends == 0) rtt.AddSample(nowUs - dialUs);
    return true;
}

void UtpSocket::Impl::HandleAck(const UtpHeader& header, size_t payloadSize) {
    const size_t flightBefore = sender.FlightBytes();
    // A bare ack from a peer with room counts towards three in a row; one
    // from a full peer only tells its window.
    const bool mayBeDuplicate = header.type == UtpType::kState && payloadSize == 0 && peerWindow >= kMaxPayload;
    const UtpSender::AckResult acked =
        sender.OnAck(header.ackNr, header.sack, header.sackBytes, nowUs, mayBeDuplicate);
    if (!acked.valid) return;
    if (acked.hasRttSample) rtt.AddSample(acked.rttSampleUs);
    if (acked.lossFound) ledbat.OnLoss(nowUs, rtt.rttUs());
    if (acked.packetsAcked > 0) {
        rtt.OnProgress();
        ledbat.OnAck(acked.bytesAcked, flightBefore);
        bytesAcked += acked.bytesAcked;
        retransmitAtUs = 0;
        if (!sender.Empty()) ArmRetransmit();
    }
    if (finQueued && SeqBefore(finSeq, sender.base())) finAcked = true;
}

void UtpSocket::Impl::HandleData(const UtpHeader& header, const uint8_t* payload, size_t size) {
    const UtpReceiver::Outcome outcome = receiver.OnData(header.seqNr, payload, size);
    // In order: every second one is acked. Anything else is acked at once:
    // a gap (with its selective ack), a duplicate (our ack may be lost), a
    // packet we had no room for (the window again).
    // The ack of the peer's FIN goes at once too: we may close right after.
    const bool inOrder = outcome == UtpReceiver::Outcome::kTaken && !receiver.FinReached();
    if (inOrder && ++pendingAcks < kAckEvery) return;
    SendState();
}

void UtpSocket::Impl::HandleFin(const UtpHeader& header) {
    receiver.OnFin(header.seqNr);
    SendState();
}

// The dialler sends its SYN again when our answer was lost: answer again.
// Any other SYN on this connection is ignored.
void UtpSocket::Impl::HandleSyn(const UtpHeader& header) {
    if (!dialler && header.seqNr == acceptedSynSeq && uint16_t(header.connectionId + 1) == receiveId) SendState();
}

// ---- time ------------------------------------------------------------------

void UtpSocket::Impl::TickSynSent() {
    const uint64_t waited = nowUs - dialUs;
    if (waited >= kConnectTimeoutUs) {
        state = State::kTimedOut;
    } else if (synResends < 2 && waited >= kSynResendUs[synResends]) {
        ++synResends;
        SendSyn();
    }
}

void UtpSocket::Impl::OnTimeout() {
    rtt.OnTimeout();
    // A closed window is not a congested path: the probe's time-out leaves
    // the window as it was.
    if (peerWindow != 0) ledbat.OnTimeout();
    sender.MarkAllForResend();
    retransmitAtUs = 0;
}

void UtpSocket::Impl::TickOpen() {
    if (nowUs - lastReceivedUs >= kIdleTimeoutUs) {
        state = State::kTimedOut;
        return;
    }
    if (retransmitAtUs != 0 && nowUs >= retransmitAtUs) OnTimeout();
    TrySend();
    // A lone in-order packet waited for this tick; a window that was closed
    // and is open again is told at once, else the peer waits for its probe.
    const bool windowOpened = advertisedWindow < kMaxPayload && receiver.FreeWindow() >= kMaxPayload;
    if (pendingAcks > 0 || windowOpened || nowUs - lastSentUs >= kKeepAliveUs) SendState();
}

// Closed once the peer's FIN is read out and nothing of ours is left
// unacked (our FIN, when we sent one). A peer that sends no FIN after ours
// was acked is waited for while it still sends.
void UtpSocket::Impl::UpdateClosed() {
    if (!Sending()) return;
    const bool peerDone = receiver.FinReached() && receiver.Readable() == 0;
    const bool oursDone = closeRequested ? finAcked : unsent.empty() && sender.Empty();
    const bool peerSilent = !receiver.FinReached() && nowUs - lastReceivedUs >= kFinLingerUs;
    if (oursDone && (peerDone || (finAcked && peerSilent))) state = State::kClosed;
}

// ---- the socket --------------------------------------------------------------

UtpSocket::UtpSocket(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
UtpSocket::~UtpSocket() = default;

std::unique_ptr<UtpSocket> UtpSocket::Dial(uint16_t receiveId, uint64_t nowUs) {
    auto impl = std::make_unique<Impl>();
    impl->dialler = true;
    impl->receiveId = receiveId;
    impl->sendId = uint16_t(receiveId + 1);
    impl->nowUs = impl->dialUs = impl->lastReceivedUs = nowUs;
    impl->sender.Start(uint16_t(kSynSeq + 1));
    impl->SendSyn();
    return std::unique_ptr<UtpSocket>(new UtpSocket(std::move(impl)));
}

std::unique_ptr<UtpSocket> UtpSocket::Accept(const UtpHeader& syn, uint64_t nowUs) {
    auto impl = std::make_unique<Impl>();
    impl->state = State::kConnected;
    impl->receiveId = uint16_t(syn.connectionId + 1);
    impl->sendId = syn.connectionId;
    impl->acceptedSynSeq = syn.seqNr;
    impl->nowUs = impl->lastReceivedUs = nowUs;
    impl->replyMicroUs = uint32_t(nowUs) - syn.timestampUs;
    impl->peerWindow = syn.windowSize;
    impl->sender.Start(uint16_t(UtpRandom()));
    impl->receiver.Start(syn.seqNr);
    impl->SendState();
    return std::unique_ptr<UtpSocket>(new UtpSocket(std::move(impl)));
}

uint16_t UtpSocket::ReceiveId() const { return impl_->receiveId; }

void UtpSocket::Receive(const UtpHeader& header, const uint8_t* payload, size_t size, uint64_t nowUs) {
    impl_->SetClock(nowUs);
    impl_->OnPacket(header, payload, size);
}

void UtpSocket::Tick(uint64_t nowUs) {
    Impl& s = *impl_;
    s.SetClock(nowUs);
    if (s.state == State::kSynSent) s.TickSynSent();
    if (s.Sending()) s.TickOpen();
    s.UpdateClosed();
}

size_t UtpSocket::Write(const uint8_t* data, size_t size, uint64_t nowUs) {
    Impl& s = *impl_;
    const size_t n = std::min(size, WriteRoom());
    if (n == 0) return 0;
    s.SetClock(nowUs);
    s.unsent.Append(data, n);
    s.TrySend();
    return n;
}

size_t UtpSocket::WriteRoom() const {
    const Impl& s = *impl_;
    if (s.state != State::kConnected) return 0;
    return kSendBufferBytes - Unacked();
}

size_t UtpSocket::Unacked() const { return impl_->unsent.size() + impl_->sender.UnackedBytes(); }

size_t UtpSocket::Read(uint8_t* out, size_t size) {
    const size_t n = impl_->receiver.Read(out, size);
    impl_->UpdateClosed();
    return n;
}

size_t UtpSocket::Readable() const { return impl_->receiver.Readable(); }

void UtpSocket::Close(uint64_t nowUs) {
    Impl& s = *impl_;
    s.SetClock(nowUs);
    if (s.state == State::kSynSent) s.state = State::kClosed;
    if (s.state != State::kConnected) return;
    s.state = State::kFinSent;
    s.closeRequested = true;
    s.TrySend();
    s.UpdateClosed();
}

void UtpSocket::Reset() {
    Impl& s = *impl_;
    if (Ended()) return;
    s.SendReset();
    s.state = State::kReset;
}

UtpSocket::State UtpSocket::state() const { return impl_->state; }

bool UtpSocket::Ended() const {
    const State st = impl_->state;
    return st == State::kClosed || st == State::kReset || st == State::kTimedOut;
}

UtpSocket::Figures UtpSocket::figures() const {
    const Impl& s = *impl_;
    Figures f;
    f.rttUs = s.rtt.rttUs();
    f.windowBytes = s.ledbat.window();
    f.ourDelayUs = s.ledbat.ourDelayUs();
    f.retransmits = s.retransmits;
    f.bytesSent = s.bytesAcked;
    f.bytesReceived = s.receiver.delivered();
    return f;
}

std::deque<std::vector<uint8_t>>& UtpSocket::Outbox() { return impl_->outbox; }
