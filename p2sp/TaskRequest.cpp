// The worker's own request: the first of a download (or of a resume,
// which fetches a little of what is on disk again and compares it), and a
// whole body from a server that ignores ranges.
#include "p2sp/Task.h"

#include "p2sp/TaskLimits.h"
#include "p2sp/http/HttpHeaders.h"
#include "p2sp/http/ReadSizer.h"

#include <algorithm>
#include <cstring>

namespace {

std::string Decimal(uint64_t v) { return std::to_string(static_cast<unsigned long long>(v)); }

bool StorableValidator(const std::string& text, size_t limit) {
    if (text.size() > limit) return false;
    for (char c : text)
        if (c < 0x20 || c > 0x7e) return false;
    return true;
}

}  // namespace

Task::Outcome Task::FetchOnce() {
    bodyComplete_ = false;
    // Bytes on disk from earlier answers, also from a body of unknown length
    // that broke off: kept only once the source shows it still serves them.
    const bool resume = !record_.done.Empty();
    const bool sizeKnown = record_.totalSize > 0;
    uint64_t from = 0, overlap = 0, end = kFirstRequestBytes;
    if (resume) {
        // Fetch a little of what is already on disk again and compare it: a
        // source that changed without changing its validators, or that sends
        // none, is caught here. The overlap ends where the first gap begins,
        // so the same request goes on into the gap. A gap at byte 0 has
        // nothing before it: the first bytes on disk are fetched on their own.
        ByteRange gap;
        record_.done.FirstGap(sizeKnown ? record_.totalSize : UINT64_MAX, &gap);
        const uint64_t before = record_.done.RunEndingAt(gap.begin);
        if (before > 0) {
            overlap = std::min(kOverlapBytes, before);
            from = gap.begin - overlap;
            end = std::min(gap.end, gap.begin + kFirstRequestBytes);
        } else {
            const ByteRange& firstRun = record_.done.Ranges().front();
            overlap = std::min(kOverlapBytes, firstRun.end - firstRun.begin);
            from = firstRun.begin;
            end = from + overlap;
        }
    }
    // Always a range: the answer tells whether the server splits the file.
    std::string headers = "Range: bytes=" + Decimal(from) + "-" + Decimal(end - 1) + "\r\n";
    if (resume) {
        if (IsStrongEtag(record_.etag))
            headers += "If-Range: " + record_.etag + "\r\n";
        else if (!record_.lastModified.empty())
            headers += "If-Range: " + record_.lastModified + "\r\n";
    }
    HttpReply reply;
    if (!http_->Send(url_, headers, &reply))
        return http_->FailureIsPermanent() ? Outcome::kRefused : Outcome::kTransient;

    if (reply.status == 206) {
        if (!reply.hasRange || reply.range.first != from || reply.range.total == 0) return Outcome::kRestart;
        if (resume) {
            // A body of unknown length learns its size here; it must hold
            // what is on disk already.
            if (sizeKnown ? reply.range.total != record_.totalSize : reply.range.total < record_.done.HighestEnd())
                return Outcome::kRestart;
            if (reply.range.last + 1 < from + overlap) return Outcome::kRestart;
            bool sameSource = !record_.etag.empty()           ? reply.etag == record_.etag
                              : !record_.lastModified.empty() ? reply.lastModified == record_.lastModified
                                                              : true;
            if (!sameSource) return Outcome::kRestart;
            Outcome checked = CheckOverlap(from, from + overlap);
            if (checked != Outcome::kProgress) return checked;
            if (!sizeKnown) {
                // Resumable from now on: the records start, nothing flushed yet.
                record_.totalSize = reply.range.total;
                keeper_.Reset(record_, RangeSet(), RangeSet());
                Publish();
            }
        } else {
            record_.totalSize = reply.range.total;
            record_.etag = StorableValidator(reply.etag, kRecordMaxEtag) ? reply.etag : std::string();
            record_.lastModified =
                StorableValidator(reply.lastModified, kRecordMaxLastModified) ? reply.lastModified : std::string();
            keeper_.Reset(record_, RangeSet(), RangeSet());
            Publish();
        }
        return RunSegments(ByteRange{from + overlap, std::min(end, reply.range.last + 1)});
    }
    if (reply.status == 200) {
        // A whole body: the server ignores ranges, or the file changed
        // (If-Range). Either way, from byte 0 on this one request.
        if (!record_.done.Empty() && !StartOver()) return Outcome::kLocalError;
        record_.totalSize = reply.hasLength ? reply.length : 0;
        record_.etag = StorableValidator(reply.etag, kRecordMaxEtag) ? reply.etag : std::string();
        record_.lastModified =
            StorableValidator(reply.lastModified, kRecordMaxLastModified) ? reply.lastModified : std::string();
        keeper_.Reset(record_, RangeSet(), RangeSet());
        Publish();
        if (reply.hasLength && reply.length == 0) {
            bodyComplete_ = true;
            return Outcome::kProgress;
        }
        return ReadBody(0, record_.totalSize, reply.hasLength);
    }
    if (reply.status == 416) return Outcome::kRestart;  // the file shrank
    if (reply.status == 408 || reply.status == 429 || reply.status >= 500) return Outcome::kTransient;
    return Outcome::kRefused;
}

Task::Outcome Task::CheckOverlap(uint64_t offset, uint64_t end) {
    while (offset < end) {
        if (stopRequested_.load()) return Outcome::kStopped;
        DWORD got = 0;
        if (!http_->Read(buffer_.data(), DWORD(end - offset), &got)) return Outcome::kTransient;
        if (got == 0) return Outcome::kTransient;
        if (!part_.ReadAt(offset, verifyBuffer_.data(), got) || memcmp(verifyBuffer_.data(), buffer_.data(), got) != 0)
            return Outcome::kRestart;
        offset += got;
    }
    return Outcome::kProgress;
}

Task::Outcome Task::ReadBody(uint64_t offset, uint64_t end, bool lengthKnown) {
    ReadSizer sizer;
    SourceStats& source = *sources_[0];
    while (!lengthKnown || offset < end) {
        if (stopRequested_.load()) return Outcome::kStopped;
        DWORD want = sizer.Size();
        if (lengthKnown) want = DWORD(std::min<uint64_t>(want, end - offset));
        DWORD got = 0;
        ULONGLONG readStart = GetTickCount64();
        if (!http_->Read(buffer_.data(), want, &got)) return Outcome::kTransient;
        sizer.Observe(want, got, GetTickCount64() - readStart);
        if (got == 0) {
            if (lengthKnown) return Outcome::kTransient;  // closed early
            record_.totalSize = offset;
            bodyComplete_ = true;
            return Outcome::kProgress;
        }
        if (!part_.WriteAt(offset, buffer_.data(), got)) return Outcome::kLocalError;
        record_.done.Add(offset, offset + got);
        offset += got;
        bytesWritten_ += got;
        source.Add(got, GetTickCount64());
        {
            std::lock_guard<std::mutex> hold(lock_);
            completedBytes_ = record_.done.CoveredBytes();
            if (!lengthKnown) totalBytes_ = 0;
        }
        if (!Checkpoint(false)) return Outcome::kLocalError;
    }
    return Outcome::kProgress;
}
