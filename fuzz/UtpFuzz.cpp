// Any bytes as uTP packets from a peer. The whole input is read as one
// packet; then it is cut into records (a control byte, a 2-byte length, the
// datagram) fed to one socket, with the clock moving and the socket ticked
// between them. The first byte picks the socket: dialled and answered,
// dialled and waiting for its answer, or accepted from the first record.
// Nothing is read out of bounds, and every buffer stays within its bound.
#include "fuzz/FuzzCheck.h"
#include "p2sp/utp/UtpPacket.h"
#include "p2sp/utp/UtpSocket.h"

#include <memory>
#include <vector>

namespace {

constexpr size_t kMaxOutbox = 1024;

void CheckOutbox(UtpSocket& socket) {
    auto& outbox = socket.Outbox();
    FUZZ_CHECK(outbox.size() <= kMaxOutbox, "an outbox past its bound");
    for (const auto& datagram : outbox) {
        UtpHeader h;
        size_t offset = 0;
        FUZZ_CHECK(ParseUtpPacket(datagram.data(), datagram.size(), &h, &offset), "a datagram we cannot read back");
        FUZZ_CHECK(datagram.size() - offset <= UtpSocket::kMaxPayload, "a payload past kMaxPayload");
    }
    outbox.clear();
}

void CheckBounds(UtpSocket& socket) {
    FUZZ_CHECK(socket.Readable() <= UtpSocket::kReceiveBufferBytes, "more readable than the window");
    FUZZ_CHECK(socket.Unacked() <= UtpSocket::kSendBufferBytes, "more unacked than the send buffer");
    FUZZ_CHECK(socket.WriteRoom() + socket.Unacked() <= UtpSocket::kSendBufferBytes, "room past the buffer");
    const UtpSocket::Figures f = socket.figures();
    FUZZ_CHECK(f.windowBytes >= UtpSocket::kMaxPayload && f.windowBytes <= UtpSocket::kSendBufferBytes,
               "a window out of its bounds");
    CheckOutbox(socket);
}

// Keeps the socket's send buffer full, so acks have packets to meet.
void Feed(UtpSocket& socket, uint64_t nowUs) {
    static const std::vector<uint8_t> bytes(65536, 0xA5);
    socket.Write(bytes.data(), bytes.size(), nowUs);
}

std::unique_ptr<UtpSocket> Connected(uint64_t nowUs) {
    auto socket = UtpSocket::Dial(0x1234, nowUs);
    UtpHeader answer;
    answer.type = UtpType::kState;
    answer.connectionId = socket->ReceiveId();
    answer.seqNr = 0x8000;
    answer.ackNr = 1;
    answer.windowSize = 1 << 20;
    socket->Receive(answer, nullptr, 0, nowUs);
    return socket;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    UtpHeader whole;
    size_t wholeOffset = 0;
    if (ParseUtpPacket(data, size, &whole, &wholeOffset)) {
        FUZZ_CHECK(wholeOffset <= size, "a payload starting past the packet");
        FUZZ_CHECK(whole.sackBytes <= kUtpMaxSackBytes && whole.sackBytes % 4 == 0, "a broken selective ack");
    }
    if (size < 1) return 0;
    const uint8_t mode = data[0] % 3;
    uint64_t nowUs = 5000000;
    std::unique_ptr<UtpSocket> socket;
    if (mode == 0) socket = Connected(nowUs);
    if (mode == 1) socket = UtpSocket::Dial(0x1234, nowUs);
    size_t at = 1;
    while (size - at >= 3) {
        const uint8_t control = data[at];
        const size_t length = (size_t(data[at + 1]) << 8) | data[at + 2];
        at += 3;
        const size_t n = length < size - at ? length : size - at;
        const uint8_t* datagram = data + at;
        at += n;
        // Bits 2-7 move the clock by 16 ms steps; all of them set, by 20 s.
        const uint8_t steps = control >> 2;
        nowUs += steps == 63 ? 20000000 : steps * 16000ull;
        UtpHeader h;
        size_t offset = 0;
        if (!ParseUtpPacket(datagram, n, &h, &offset)) {
            if (socket) socket->Tick(nowUs);
        } else if (!socket) {
            socket = UtpSocket::Accept(h, nowUs);
        } else {
            if (control & 1) h.connectionId = socket->ReceiveId();
            socket->Receive(h, datagram + offset, n - offset, nowUs);
            socket->Tick(nowUs);
        }
        if (!socket) continue;
        if (control & 2) {
            static uint8_t sink[1 << 16];
            while (socket->Read(sink, sizeof sink) > 0) {
            }
        }
        Feed(*socket, nowUs);
        CheckBounds(*socket);
    }
    return 0;
}
