#include "p2sp/http/Connection.h"

#include "p2sp/http/HttpHeaders.h"
#include "p2sp/http/ReadSizer.h"

#include <algorithm>

namespace {

constexpr int kMaxFailures = 5;      // failed requests in a row before the connection ends
constexpr int kMaxRefusals = 2;      // 4xx answers in a row before the connection ends
constexpr int kMaxBadPieces = 2;     // bad pieces before a source is dropped
// The longest request: a split cannot take bytes already requested, so this
// bounds what a connection that finishes early must leave to the others.
constexpr uint64_t kRequestBytes = 2u << 20;
constexpr DWORD kDeferredWaitMs = 100;  // a claim again, while the peers are given what is left

std::string Decimal(uint64_t v) { return std::to_string(static_cast<unsigned long long>(v)); }

}  // namespace

Connection::Connection(int id, int rank, SourceStats* source, TransferContext* context)
    : id_(id), rank_(rank), source_(source), context_(context) {}

Connection::~Connection() { Join(); }

void Connection::Adopt(std::unique_ptr<HttpSource> open, ByteRange segment) {
    http_ = std::move(open);
    adopted_ = true;
    adoptedSegment_ = segment;
}

bool Connection::Start() {
    running_ = true;
    try {
        thread_ = std::thread(&Connection::Run, this);
    } catch (...) {
        running_ = false;
        return false;
    }
    return true;
}

void Connection::Join() {
    if (thread_.joinable()) thread_.join();
}

bool Connection::WaitOrStop(DWORD ms) {
    return WaitForSingleObject(context_->stopEvent, ms) == WAIT_TIMEOUT;
}

void Connection::Run() {
    buffer_.resize(ReadSizer::kMaxBytes);
    if (context_->pieces) hash_.reset(new PieceHash(context_->pieces->pieceHashType));
    if (!http_) {
        http_.reset(new HttpSource);
        if (!http_->Open()) http_.reset();
    }
    source_->Opened();
    int failures = 0, refusals = 0;
    while (http_ && !context_->stopRequested->load() && context_->fault.load() == TransferContext::kNone &&
           !source_->dropped.load()) {
        ByteRange segment;
        Result result;
        uint64_t before = source_->bytes.load();
        if (adopted_) {
            adopted_ = false;
            segment = adoptedSegment_;
            result = ReadSegment(segment);
        } else {
            if (StandsDown()) {
                idle_ = true;
                break;
            }
            if (context_->map->Claim(id_, source_->index, &segment)) {
                result = FetchSegment(segment);
            } else if (context_->map->Deferring()) {
                // What is left is the peers' to give for now; it may come
                // back to us (peers leave or slow down).
                WaitOrStop(kDeferredWaitMs);
                continue;
            } else if (context_->raceMaxBytes > 0 &&
                       context_->map->ClaimRace(id_, source_->index, GetTickCount64(), context_->raceAfterMs,
                                                context_->raceMaxBytes, &segment)) {
                result = Race(segment);
                context_->map->DropRace(id_);
            } else {
                idle_ = true;
                break;
            }
        }
        bool progressed = source_->bytes.load() > before;
        if (result == Result::kDone) {
            failures = refusals = 0;
            continue;
        }
        http_->CloseRequest();
        context_->map->Release(id_);
        if (progressed) failures = refusals = 0;
        if (result == Result::kStopped) break;
        if (result == Result::kLocalError) {
            context_->Raise(TransferContext::kLocalError);
            break;
        }
        if (result == Result::kWrongFile) {
            // The task's own source changed its file: the task starts over. A
            // mirror serving another file is of no use.
            if (source_->index == 0) context_->Raise(TransferContext::kRestart);
            else source_->dropped = true;
            break;
        }
        if (result == Result::kBadData) {
            if (++source_->badPieces >= kMaxBadPieces) source_->dropped = true;
            continue;  // the piece is excluded for this source; others fetch it
        }
        if (result == Result::kRefused) {
            // A mirror without the file is of no use; the task's own URL is
            // given another try (the task decides when it has failed).
            if (source_->index != 0) {
                refused_ = true;
                source_->dropped = true;
                break;
            }
            if (++refusals >= kMaxRefusals) {
                refused_ = true;
                ++source_->failedConnections;
                break;
            }
            WaitOrStop(300);
            continue;
        }
        // Transient: a new request at once after progress, else after a pause.
        if (++failures >= kMaxFailures) {
            ++source_->failedConnections;
            break;
        }
        WaitOrStop(progressed ? 50 : DWORD(250u << std::min(failures, 4)));
    }
    context_->map->Release(id_);
    if (http_) http_->CloseRequest();
    source_->Closed();
    running_ = false;
}

Connection::Result Connection::FetchSegment(const ByteRange& segment) {
    uint64_t pos = segment.begin;
    for (;;) {
        // Standing down: the rest of the segment goes back when it lets go.
        if (StandsDown()) return Result::kDone;
        uint64_t end = context_->map->Commit(id_, pos, kRequestBytes);
        if (end <= pos) return Result::kDone;  // the segment's end moved to here
        Result r = Fetch(ByteRange{pos, end});
        if (r != Result::kDone) return r;
        pos = end;
    }
}

Connection::Result Connection::Fetch(const ByteRange& segment) {
    Result failure = Result::kDone;
    return Send(segment, &failure) ? ReadSegment(segment) : failure;
}

Connection::Result Connection::Race(const ByteRange& range) {
    Result failure = Result::kDone;
    if (!Send(range, &failure)) return failure;
    const PieceTable& pieces = *context_->pieces;
    const uint64_t length = range.end - range.begin;
    raceBuffer_.resize(size_t(length));
    for (uint64_t got = 0; got < length;) {
        if (context_->stopRequested->load() || context_->fault.load() != TransferContext::kNone ||
            source_->dropped.load())
            return Result::kStopped;
        DWORD want = DWORD(std::min<uint64_t>(sizer_.Size(), length - got));
        DWORD n = 0;
        ULONGLONG readStart = GetTickCount64();
        if (!http_->Read(raceBuffer_.data() + got, want, &n) || n == 0) return Result::kTransient;
        sizer_.Observe(want, n, GetTickCount64() - readStart);
        got += n;
    }
    // Every piece of it checked before a byte is stored.
    for (uint64_t at = range.begin; at < range.end;) {
        const uint64_t end = pieces.PieceEnd(at / pieces.pieceLength);
        std::vector<uint8_t> digest;
        if (!hash_->Start() || !hash_->Update(raceBuffer_.data() + (at - range.begin), size_t(end - at)) ||
            !hash_->Finish(&digest))
            return Result::kLocalError;
        if (digest != pieces.pieceHashes[size_t(at / pieces.pieceLength)]) {
            context_->map->Exclude(range.begin, range.end, source_->index);
            return Result::kBadData;
        }
        at = end;
    }
    bool writeFailed = false;
    const bool won = context_->map->FinishRace(id_, range, [&] {
        writeFailed = !context_->file->WriteAt(range.begin, raceBuffer_.data(), DWORD(length));
        return !writeFailed;
    });
    raceBuffer_.clear();
    raceBuffer_.shrink_to_fit();  // a piece's worth is not kept for a rare race
    if (writeFailed) return Result::kLocalError;
    if (won) {
        source_->Add(length, GetTickCount64());
        ++source_->goodPieces;
    }
    return Result::kDone;
}

bool Connection::Send(const ByteRange& segment, Result* failure) {
    std::string headers = "Range: bytes=" + Decimal(segment.begin) + "-" + Decimal(segment.end - 1) + "\r\n";
    bool primary = source_->index == 0;
    if (primary) {
        if (IsStrongEtag(context_->etag))
            headers += "If-Range: " + context_->etag + "\r\n";
        else if (!context_->lastModified.empty())
            headers += "If-Range: " + context_->lastModified + "\r\n";
    }
    HttpReply reply;
    if (!http_->Send(source_->url, headers, &reply)) {
        *failure = http_->FailureIsPermanent() ? Result::kRefused : Result::kTransient;
        return false;
    }
    if (reply.status == 206) {
        *failure = Result::kWrongFile;
        if (!reply.hasRange || reply.range.first != segment.begin || reply.range.total != context_->totalSize ||
            reply.range.last + 1 < segment.end)
            return false;
        if (primary) {
            bool same = !context_->etag.empty()           ? reply.etag == context_->etag
                        : !context_->lastModified.empty() ? reply.lastModified == context_->lastModified
                                                          : true;
            if (!same) return false;
        }
        return true;
    }
    if (reply.status == 200 || reply.status == 416) *failure = Result::kWrongFile;  // changed (If-Range), or no ranges
    else if (reply.status == 408 || reply.status == 429 || reply.status >= 500) *failure = Result::kTransient;
    else *failure = Result::kRefused;
    return false;
}

Connection::Result Connection::ReadSegment(ByteRange segment) {
    ReadSizer& sizer = sizer_;  // kept across requests: the link stays the same
    uint64_t pos = segment.begin;
    uint64_t end = context_->map->Advance(id_, pos);
    if (hash_) {
        pieceStart_ = pos;
        if (!hash_->Start()) return Result::kLocalError;
    }
    while (pos < std::min(end, segment.end)) {
        if (context_->stopRequested->load()) return Result::kStopped;
        if (context_->fault.load() != TransferContext::kNone || source_->dropped.load()) return Result::kStopped;
        DWORD want = DWORD(std::min<uint64_t>(sizer.Size(), std::min(end, segment.end) - pos));
        DWORD got = 0;
        ULONGLONG readStart = GetTickCount64();
        if (!http_->Read(buffer_.data(), want, &got) || got == 0) return Result::kTransient;
        sizer.Observe(want, got, GetTickCount64() - readStart);
        end = context_->map->Advance(id_, pos + got);
        uint64_t use = pos < end ? std::min<uint64_t>(got, end - pos) : 0;
        if (use > 0) {
            Result r = Deliver(pos, buffer_.data(), use);
            if (r != Result::kDone) return r;
            pos += use;
        }
        if (use < got) break;
    }
    // A request is committed before it is sent, so no split cuts it; should
    // one end early all the same, its connection cannot be reused.
    if (pos < segment.end) http_->CloseRequest();
    return Result::kDone;
}

Connection::Result Connection::Deliver(uint64_t pos, const uint8_t* data, uint64_t n) {
    if (!context_->file->WriteAt(pos, data, DWORD(n))) return Result::kLocalError;
    source_->Add(n, GetTickCount64());
    if (!hash_) {
        context_->map->MarkDone(pos, pos + n);
        return Result::kDone;
    }
    // Verified pieces only count as done: a record never claims a bad one.
    const PieceTable& pieces = *context_->pieces;
    while (n > 0) {
        uint64_t index = pieceStart_ / pieces.pieceLength;
        uint64_t pieceEnd = pieces.PieceEnd(index);
        uint64_t take = std::min(n, pieceEnd - pos);
        if (!hash_->Update(data, size_t(take))) return Result::kLocalError;
        pos += take;
        data += take;
        n -= take;
        if (pos < pieceEnd) break;
        std::vector<uint8_t> digest;
        if (!hash_->Finish(&digest)) return Result::kLocalError;
        if (digest != pieces.pieceHashes[size_t(index)]) {
            context_->map->Exclude(pieceStart_, pieceEnd, source_->index);
            return Result::kBadData;
        }
        context_->map->MarkDone(pieceStart_, pieceEnd);
        ++source_->goodPieces;
        pieceStart_ = pieceEnd;
        if (!hash_->Start()) return Result::kLocalError;
    }
    return Result::kDone;
}
