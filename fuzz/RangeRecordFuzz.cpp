// Any bytes as a stored range record. The loader must stay inside the bytes,
// and a record it accepts must be sound (ranges inside the file, written
// ranges covering the completed ones), save and load again unchanged, and be
// one the writer could have written: its stored form has the length the
// writer gives it, less the header bytes this version skips. A repeated
// written-ranges section fails that (the writer stores one).
#include "fuzz/FuzzCheck.h"
#include "p2sp/record/RangeRecord.h"

namespace {

void CheckRangesInside(const RangeSet& set, uint64_t totalSize) {
    uint64_t previousEnd = 0;
    bool first = true;
    for (const ByteRange& r : set.Ranges()) {
        FUZZ_CHECK(r.begin < r.end, "an empty range is kept");
        FUZZ_CHECK(r.end <= totalSize, "a range runs past the end of the file");
        FUZZ_CHECK(first || r.begin > previousEnd, "ranges are unsorted or touch");
        previousEnd = r.end;
        first = false;
    }
}

void CheckRecord(const uint8_t* data, size_t size) {
    RangeRecord record;
    const RecordError error = DecodeRangeRecord(data, size, &record);
    FUZZ_CHECK(RecordErrorName(error) != nullptr, "an error without a name");
    if (error != RecordError::kNone) return;

    FUZZ_CHECK(record.totalSize > 0, "a record of an empty file is accepted");
    FUZZ_CHECK(record.etag.size() <= kRecordMaxEtag && record.lastModified.size() <= kRecordMaxLastModified,
               "a validator over its limit is accepted");
    CheckRangesInside(record.done, record.totalSize);
    CheckRangesInside(record.written, record.totalSize);
    if (!record.written.Empty()) {
        for (const ByteRange& r : record.done.Ranges()) {
            FUZZ_CHECK(record.written.Covers(r.begin, r.end), "written ranges miss a completed one");
        }
        FUZZ_CHECK(&ResumableRanges(record, record.bootStamp) == &record.written,
                   "the written ranges are not trusted on the system that wrote them");
    }
    for (const RecordSection& s : record.sections) {
        FUZZ_CHECK(!(s.flags & kRecordSectionCritical), "an unknown critical section is kept");
        FUZZ_CHECK(s.tag != kSectionWrittenRanges, "the written ranges are kept as an unknown section");
    }

    const std::vector<uint8_t> saved = EncodeRangeRecord(record);
    RangeRecord again;
    FUZZ_CHECK(DecodeRangeRecord(saved.data(), saved.size(), &again) == RecordError::kNone,
               "a record loaded cannot be saved and loaded again");
    FUZZ_CHECK(again.totalSize == record.totalSize && again.etag == record.etag &&
                   again.lastModified == record.lastModified && again.done == record.done &&
                   again.written == record.written && again.sections == record.sections,
               "a record saved and loaded again differs");
    FUZZ_CHECK(record.written.Empty() || again.bootStamp == record.bootStamp, "the boot stamp is lost");

    // An empty written-ranges section is not stored again: only records with
    // written ranges are compared by length.
    if (!record.written.Empty()) {
        const size_t headerSize = static_cast<size_t>(data[6] | (data[7] << 8));
        FUZZ_CHECK(saved.size() + (headerSize - kRecordHeaderSize) == size,
                   "the loader accepted a record the writer cannot have written (a repeated section?)");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckRecord(data, size);
    // Mutations rarely keep the checksum right: the same bytes again with
    // their checksum mended reach the checks behind it.
    if (size >= 4) {
        std::vector<uint8_t> mended(data, data + size);
        const uint32_t crc = Crc32(mended.data(), size - 4);
        for (int i = 0; i < 4; ++i) mended[size - 4 + i] = static_cast<uint8_t>(crc >> (8 * i));
        CheckRecord(mended.data(), mended.size());
    }
    return 0;
}
