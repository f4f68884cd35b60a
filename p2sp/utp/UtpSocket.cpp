// The connection as its owner drives it: dial, accept, write, read, tick,
// close. What moves it between its states is in UtpSocketSend.cpp and
// UtpSocketReceive.cpp; the parts those drive each keep one concern:
// UtpSender (packets in flight), UtpReceiver (in order and reordered),
// UtpRtt (round trip and time-out), UtpLedbat (the window).
#include "p2sp/utp/UtpSocketImpl.h"

UtpSocket::UtpSocket(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
UtpSocket::~UtpSocket() = default;

std::unique_ptr<UtpSocket> UtpSocket::Dial(uint16_t receiveId, uint64_t nowUs) {
    auto impl = std::make_unique<Impl>();
    impl->dialler = true;
    impl->receiveId = receiveId;
    impl->sendId = uint16_t(receiveId + 1);
    impl->nowUs = impl->dialUs = impl->lastReceivedUs = nowUs;
    impl->sender.Start(uint16_t(Impl::kSynSeq + 1));
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
