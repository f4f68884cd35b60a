// The range record must round-trip, and the loader must refuse every record
// that is damaged, truncated, from a newer format or claiming bytes that
// cannot exist: a wrong record would splice wrong data into the file.
#include "p2sp/record/RangeRecord.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

RangeRecord Sample() {
    RangeRecord r;
    r.totalSize = 5000000000ull;  // above 4 GiB
    r.etag = "\"5f3a-1c\"";
    r.lastModified = "Tue, 01 Dec 2026 10:00:00 GMT";
    r.done.Add(0, 1000);
    r.done.Add(4096, 1 << 20);
    r.done.Add(4999999000ull, 5000000000ull);
    r.sections.push_back(RecordSection{0x7001, 0, {1, 2, 3}});
    return r;
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
void Put64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// Recomputes the checksum after a test changed a field on purpose.
void Reseal(std::vector<uint8_t>& b) { Put32(b, b.size() - 4, Crc32(b.data(), b.size() - 4)); }

RecordError Decode(const std::vector<uint8_t>& b) {
    RangeRecord out;
    return DecodeRangeRecord(b.data(), b.size(), &out);
}

TEST(RangeRecord, RoundTripsEveryField) {
    RangeRecord in = Sample();
    std::vector<uint8_t> bytes = EncodeRangeRecord(in);
    RangeRecord out;
    ASSERT_EQ(DecodeRangeRecord(bytes.data(), bytes.size(), &out), RecordError::kNone);
    EXPECT_EQ(out.totalSize, in.totalSize);
    EXPECT_EQ(out.etag, in.etag);
    EXPECT_EQ(out.lastModified, in.lastModified);
    EXPECT_EQ(out.done, in.done);
    EXPECT_EQ(out.sections, in.sections);  // unknown optional sections survive a rewrite
}

TEST(RangeRecord, FixedLittleEndianLayout) {
    std::vector<uint8_t> b = EncodeRangeRecord(Sample());
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "QPRR");
    EXPECT_EQ(b[4], 1);  // version
    EXPECT_EQ(b[6], 32);  // header size
    EXPECT_EQ(b[8], uint8_t(5000000000ull & 0xFF));
    EXPECT_EQ(b[12], uint8_t(5000000000ull >> 32));
    EXPECT_EQ(b[16], 3);  // range count
}

TEST(RangeRecord, HoldsManyRanges) {
    RangeRecord in;
    in.totalSize = 1u << 30;
    for (uint64_t i = 0; i < 20000; ++i) in.done.Add(i * 1000, i * 1000 + 500);
    std::vector<uint8_t> bytes = EncodeRangeRecord(in);
    RangeRecord out;
    ASSERT_EQ(DecodeRangeRecord(bytes.data(), bytes.size(), &out), RecordError::kNone);
    EXPECT_EQ(out.done.Ranges().size(), 20000u);
}

TEST(RangeRecord, EveryTruncationIsRefused) {
    std::vector<uint8_t> b = EncodeRangeRecord(Sample());
    for (size_t n = 0; n < b.size(); ++n) {
        RangeRecord out;
        EXPECT_NE(DecodeRangeRecord(b.data(), n, &out), RecordError::kNone) << "length " << n;
    }
}

TEST(RangeRecord, EverySingleBitFlipIsRefused) {
    std::vector<uint8_t> b = EncodeRangeRecord(Sample());
    for (size_t i = 0; i < b.size(); ++i) {
        std::vector<uint8_t> bad = b;
        bad[i] ^= 0x10;
        EXPECT_NE(Decode(bad), RecordError::kNone) << "byte " << i;
    }
}

TEST(RangeRecord, TrailingBytesAreRefused) {
    std::vector<uint8_t> b = EncodeRangeRecord(Sample());
    b.push_back(0);
    Reseal(b);
    EXPECT_EQ(Decode(b), RecordError::kBadLength);
}

TEST(RangeRecord, LongerHeaderOfALaterRevisionIsSkipped) {
    RangeRecord in;
    in.totalSize = 100;
    in.done.Add(0, 50);
    std::vector<uint8_t> b = EncodeRangeRecord(in);
    b.insert(b.begin() + 32, 8, 0xEE);  // 8 bytes of fields this reader does not know
    b[6] = 40;
    Reseal(b);
    RangeRecord out;
    ASSERT_EQ(DecodeRangeRecord(b.data(), b.size(), &out), RecordError::kNone);
    EXPECT_EQ(out.done, in.done);
}

// One structural rule per case; the checksum is made valid again so the
// rule itself, not the checksum, must refuse the record.
struct MutationCase {
    const char* fault;
    std::function<void(std::vector<uint8_t>&)> mutate;
    RecordError expected;
};

class RangeRecordMutation : public ::testing::TestWithParam<MutationCase> {};

// Where Sample()'s ranges start: after the header and both validators.
const size_t kRanges = kRecordHeaderSize + Sample().etag.size() + Sample().lastModified.size();

TEST_P(RangeRecordMutation, IsRefused) {
    std::vector<uint8_t> b = EncodeRangeRecord(Sample());
    GetParam().mutate(b);
    Reseal(b);
    EXPECT_EQ(Decode(b), GetParam().expected) << GetParam().fault;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RangeRecordMutation,
    ::testing::Values(
        MutationCase{"newer format", [](std::vector<uint8_t>& b) { b[4] = 2; }, RecordError::kUnsupportedVersion},
        MutationCase{"header shorter than its fields", [](std::vector<uint8_t>& b) { b[6] = 16; },
                     RecordError::kBadHeader},
        MutationCase{"zero total size", [](std::vector<uint8_t>& b) { Put64(b, 8, 0); }, RecordError::kBadHeader},
        MutationCase{"unknown flags", [](std::vector<uint8_t>& b) { b[28] = 1; }, RecordError::kBadHeader},
        MutationCase{"absurd range count", [](std::vector<uint8_t>& b) { Put32(b, 16, 0xFFFFFFFFu); },
                     RecordError::kBadHeader},
        MutationCase{"range count past the data", [](std::vector<uint8_t>& b) { Put32(b, 16, 4); },
                     RecordError::kTruncated},
        MutationCase{"range beyond the file",
                     [](std::vector<uint8_t>& b) { Put64(b, kRanges + 40, 5000000001ull); }, RecordError::kBadRange},
        MutationCase{"empty range", [](std::vector<uint8_t>& b) { Put64(b, kRanges + 8, 0); }, RecordError::kBadRange},
        MutationCase{"overlapping ranges", [](std::vector<uint8_t>& b) { Put64(b, kRanges + 16, 500); },
                     RecordError::kBadRange},
        MutationCase{"touching ranges", [](std::vector<uint8_t>& b) { Put64(b, kRanges + 16, 1000); },
                     RecordError::kBadRange},
        MutationCase{"unsorted ranges",
                     [](std::vector<uint8_t>& b) {
                         Put64(b, kRanges + 32, 2000);  // third range before the second
                         Put64(b, kRanges + 40, 3000);
                     },
                     RecordError::kBadRange},
        MutationCase{"control character in the ETag", [](std::vector<uint8_t>& b) { b[33] = '\n'; },
                     RecordError::kBadValidator},
        MutationCase{"unknown critical section", [](std::vector<uint8_t>& b) { b[kRanges + 48 + 2] = 1; },
                     RecordError::kUnknownCritical},
        MutationCase{"section longer than its area", [](std::vector<uint8_t>& b) { b[kRanges + 48 + 4] = 4; },
                     RecordError::kBadSection}));

}  // namespace

namespace {

RangeRecord WithWritten() {
    RangeRecord r;
    r.totalSize = 10000;
    r.etag = "\"v2\"";
    r.done.Add(0, 1000);  // flushed
    r.written.Add(0, 1500);
    r.written.Add(4000, 4500);
    r.bootStamp = 1700000000000ull;
    return r;
}

TEST(RangeRecordWritten, RoundTripsAndCountsOnlyWhileTheSystemRuns) {
    std::vector<uint8_t> bytes = EncodeRangeRecord(WithWritten());
    RangeRecord out;
    ASSERT_EQ(DecodeRangeRecord(bytes.data(), bytes.size(), &out), RecordError::kNone);
    EXPECT_EQ(out.written, WithWritten().written);
    EXPECT_EQ(out.bootStamp, WithWritten().bootStamp);
    EXPECT_TRUE(out.sections.empty());  // known, so not carried as unknown
    EXPECT_EQ(ResumableRanges(out, out.bootStamp + 3).CoveredBytes(), 2000u);   // same system run
    EXPECT_EQ(ResumableRanges(out, out.bootStamp + 3600000).CoveredBytes(), 1000u);  // restarted since
}

TEST(RangeRecordWritten, WrittenRangesMissingFlushedOnesAreRefused) {
    RangeRecord r = WithWritten();
    r.done.Add(6000, 7000);  // flushed but not written: impossible
    std::vector<uint8_t> bytes = EncodeRangeRecord(r);
    RangeRecord out;
    EXPECT_EQ(DecodeRangeRecord(bytes.data(), bytes.size(), &out), RecordError::kBadWritten);
}

TEST(RangeRecordWritten, WrittenRangeBeyondTheFileIsRefused) {
    RangeRecord r = WithWritten();
    r.written.Add(9000, 10001);
    std::vector<uint8_t> bytes = EncodeRangeRecord(r);
    RangeRecord out;
    EXPECT_EQ(DecodeRangeRecord(bytes.data(), bytes.size(), &out), RecordError::kBadWritten);
}

// Appends a written-ranges section of `count` ranges, [first + i * step,
// first + i * step + 1), to an encoded record, fixing its section length.
void AppendWrittenSection(std::vector<uint8_t>& b, uint64_t first, uint64_t step, uint32_t count) {
    std::vector<uint8_t> section(8 + 12 + size_t(count) * 16);
    section[0] = uint8_t(kSectionWrittenRanges);
    section[1] = uint8_t(kSectionWrittenRanges >> 8);
    Put32(section, 4, uint32_t(section.size() - 8));
    Put64(section, 8, 1700000000000ull);
    Put32(section, 16, count);
    for (uint32_t i = 0; i < count; ++i) {
        Put64(section, 20 + size_t(i) * 16, first + i * step);
        Put64(section, 28 + size_t(i) * 16, first + i * step + 1);
    }
    b.insert(b.end() - 4, section.begin(), section.end());
    uint32_t sectionBytes = 0;
    for (int i = 0; i < 4; ++i) sectionBytes |= uint32_t(b[24 + i]) << (8 * i);
    Put32(b, 24, sectionBytes + uint32_t(section.size()));
    Reseal(b);
}

RangeRecord LargeFile() {
    RangeRecord r;
    r.totalSize = 1ull << 40;
    return r;
}

// Two interleaved sections of 160,000 ranges each once took seconds to
// merge; a writer never repeats the section, so a reader refuses it.
TEST(RangeRecordWritten, RepeatedWrittenSectionIsRefused) {
    std::vector<uint8_t> b = EncodeRangeRecord(LargeFile());
    AppendWrittenSection(b, 0, 4, 160000);
    AppendWrittenSection(b, 2, 4, 160000);
    RangeRecord out;
    EXPECT_EQ(DecodeRangeRecord(b.data(), b.size(), &out), RecordError::kBadWritten);

    std::vector<uint8_t> small = EncodeRangeRecord(WithWritten());
    AppendWrittenSection(small, 6000, 10, 2);
    EXPECT_EQ(DecodeRangeRecord(small.data(), small.size(), &out), RecordError::kBadWritten);
}

TEST(RangeRecordWritten, LargestRecordLoads) {
    RangeRecord in = LargeFile();
    for (uint64_t i = 0; i < kRecordMaxRanges; ++i) in.done.Add(i * 4, i * 4 + 1);
    std::vector<uint8_t> b = EncodeRangeRecord(in);
    AppendWrittenSection(b, 0, 4, kRecordMaxRanges);
    RangeRecord out;
    ASSERT_EQ(DecodeRangeRecord(b.data(), b.size(), &out), RecordError::kNone);
    EXPECT_EQ(out.done.Ranges().size(), size_t(kRecordMaxRanges));
    EXPECT_EQ(out.written, in.done);
}

// A record as the single-connection engine wrote it (format 1, no sections),
// built byte by byte: it must still resume, from its ranges.
TEST(RangeRecordWritten, SingleConnectionRecordStillResumes) {
    const std::string etag = "\"abc\"";
    std::vector<uint8_t> b(32 + etag.size() + 16 + 4, 0);
    memcpy(b.data(), "QPRR", 4);
    b[4] = 1;
    b[6] = 32;
    Put64(b, 8, 3000000);
    Put32(b, 16, 1);
    b[20] = uint8_t(etag.size());
    memcpy(&b[32], etag.data(), etag.size());
    Put64(b, 32 + etag.size(), 0);
    Put64(b, 32 + etag.size() + 8, 1200000);
    Reseal(b);
    RangeRecord out;
    ASSERT_EQ(DecodeRangeRecord(b.data(), b.size(), &out), RecordError::kNone);
    EXPECT_EQ(out.etag, etag);
    EXPECT_EQ(ResumableRanges(out, 12345).CoveredBytes(), 1200000u);
}

}  // namespace
