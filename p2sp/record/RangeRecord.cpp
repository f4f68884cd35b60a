#include "p2sp/record/RangeRecord.h"

#include <cstring>

namespace {

const uint8_t kMagic[4] = {'Q', 'P', 'R', 'R'};
constexpr uint16_t kVersion = 1;

// Little-endian writer into a buffer sized up front.
class Writer {
public:
    explicit Writer(size_t size) : bytes_(size) {}
    void Put16(uint16_t v) { PutN(2, v); }
    void Put32(uint32_t v) { PutN(4, v); }
    void Put64(uint64_t v) { PutN(8, v); }
    void PutBytes(const void* p, size_t n) {
        if (n) memcpy(&bytes_[pos_], p, n);
        pos_ += n;
    }
    std::vector<uint8_t>& Bytes() { return bytes_; }
    size_t Pos() const { return pos_; }

private:
    void PutN(size_t n, uint64_t v) {
        for (size_t i = 0; i < n; ++i) bytes_[pos_ + i] = uint8_t(v >> (8 * i));
        pos_ += n;
    }
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
};

// Bounds-checked little-endian reader; every Get fails once past the end.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Has(size_t n) const { return n <= size_ - pos_; }
    bool Skip(size_t n) {
        if (!Has(n)) return false;
        pos_ += n;
        return true;
    }
    bool Get16(uint16_t* v) { return GetN(2, v); }
    bool Get32(uint32_t* v) { return GetN(4, v); }
    bool Get64(uint64_t* v) { return GetN(8, v); }
    bool GetBytes(size_t n, const uint8_t** p) {
        if (!Has(n)) return false;
        *p = data_ + pos_;
        pos_ += n;
        return true;
    }
    size_t Pos() const { return pos_; }

private:
    template <typename T>
    bool GetN(size_t n, T* v) {
        if (!Has(n)) return false;
        T r = 0;
        for (size_t i = 0; i < n; ++i) r |= T(data_[pos_ + i]) << (8 * i);
        pos_ += n;
        *v = r;
        return true;
    }
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

bool PrintableAscii(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i] < 0x20 || p[i] > 0x7e) return false;
    return true;
}

}  // namespace

namespace {
struct CrcTable {
    uint32_t entries[256];
    CrcTable() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[i] = c;
        }
    }
};
}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size) {
    static const CrcTable table;  // thread-safe initialisation of a local static
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) crc = table.entries[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

namespace {

RecordSection WrittenSection(const RangeRecord& record) {
    RecordSection section;
    section.tag = kSectionWrittenRanges;
    const auto& ranges = record.written.Ranges();
    Writer out(12 + ranges.size() * 16);
    out.Put64(record.bootStamp);
    out.Put32(uint32_t(ranges.size()));
    for (const ByteRange& r : ranges) {
        out.Put64(r.begin);
        out.Put64(r.end);
    }
    section.data = std::move(out.Bytes());
    return section;
}

RecordError DecodeWritten(const RecordSection& section, RangeRecord* record) {
    Reader in(section.data.data(), section.data.size());
    uint32_t count = 0;
    if (!in.Get64(&record->bootStamp) || !in.Get32(&count) || count > kRecordMaxRanges ||
        section.data.size() != 12 + uint64_t(count) * 16)
        return RecordError::kBadWritten;
    uint64_t previousEnd = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t begin = 0, end = 0;
        in.Get64(&begin);
        in.Get64(&end);
        if (begin >= end || end > record->totalSize || (i > 0 && begin <= previousEnd))
            return RecordError::kBadWritten;
        record->written.Add(begin, end);
        previousEnd = end;
    }
    // Both lists are sorted: one walk finds, for each flushed range, the
    // first written range that reaches its end, which must hold all of it.
    const std::vector<ByteRange>& written = record->written.Ranges();
    auto w = written.begin();
    for (const ByteRange& r : record->done.Ranges()) {
        while (w != written.end() && w->end < r.end) ++w;
        if (w == written.end() || w->begin > r.begin) return RecordError::kBadWritten;
    }
    return RecordError::kNone;
}

}  // namespace

const RangeSet& ResumableRanges(const RangeRecord& record, uint64_t currentBootStamp) {
    if (record.written.Empty()) return record.done;
    uint64_t a = record.bootStamp, b = currentBootStamp;
    return (a > b ? a - b : b - a) <= kBootStampSlackMs ? record.written : record.done;
}

std::vector<uint8_t> EncodeRangeRecord(const RangeRecord& record) {
    std::vector<RecordSection> extra;
    if (!record.written.Empty()) extra.push_back(WrittenSection(record));
    uint32_t sectionBytes = 0;
    for (const RecordSection& s : record.sections) sectionBytes += uint32_t(8 + s.data.size());
    for (const RecordSection& s : extra) sectionBytes += uint32_t(8 + s.data.size());
    const auto& ranges = record.done.Ranges();
    size_t size = kRecordHeaderSize + record.etag.size() + record.lastModified.size() + ranges.size() * 16 +
                  sectionBytes + 4;
    Writer out(size);
    out.PutBytes(kMagic, 4);
    out.Put16(kVersion);
    out.Put16(uint16_t(kRecordHeaderSize));
    out.Put64(record.totalSize);
    out.Put32(uint32_t(ranges.size()));
    out.Put16(uint16_t(record.etag.size()));
    out.Put16(uint16_t(record.lastModified.size()));
    out.Put32(sectionBytes);
    out.Put32(0);
    out.PutBytes(record.etag.data(), record.etag.size());
    out.PutBytes(record.lastModified.data(), record.lastModified.size());
    for (const ByteRange& r : ranges) {
        out.Put64(r.begin);
        out.Put64(r.end);
    }
    for (const RecordSection& s : extra) {
        out.Put16(s.tag);
        out.Put16(s.flags);
        out.Put32(uint32_t(s.data.size()));
        out.PutBytes(s.data.data(), s.data.size());
    }
    for (const RecordSection& s : record.sections) {
        out.Put16(s.tag);
        out.Put16(s.flags);
        out.Put32(uint32_t(s.data.size()));
        out.PutBytes(s.data.data(), s.data.size());
    }
    out.Put32(Crc32(out.Bytes().data(), out.Pos()));
    return std::move(out.Bytes());
}

RecordError DecodeRangeRecord(const uint8_t* data, size_t size, RangeRecord* out) {
    if (size < kRecordHeaderSize + 4) return RecordError::kTruncated;
    if (size > kRecordMaxBytes) return RecordError::kBadLength;
    Reader in(data, size - 4);
    const uint8_t* magic = nullptr;
    in.GetBytes(4, &magic);
    if (magic[0] != kMagic[0] || magic[1] != kMagic[1] || magic[2] != kMagic[2] || magic[3] != kMagic[3])
        return RecordError::kBadMagic;
    uint16_t version = 0, headerSize = 0, etagLen = 0, lastModLen = 0;
    uint32_t rangeCount = 0, sectionBytes = 0, flags = 0;
    uint64_t total = 0;
    in.Get16(&version);
    if (version != kVersion) return RecordError::kUnsupportedVersion;
    in.Get16(&headerSize);
    in.Get64(&total);
    in.Get32(&rangeCount);
    in.Get16(&etagLen);
    in.Get16(&lastModLen);
    in.Get32(&sectionBytes);
    in.Get32(&flags);
    if (headerSize < kRecordHeaderSize || flags != 0 || total == 0 || rangeCount > kRecordMaxRanges ||
        etagLen > kRecordMaxEtag || lastModLen > kRecordMaxLastModified)
        return RecordError::kBadHeader;

    // Lengths must add up to exactly the bytes present (64-bit sums cannot overflow here).
    uint64_t expected = uint64_t(headerSize) + etagLen + lastModLen + uint64_t(rangeCount) * 16 +
                        sectionBytes + 4;
    if (expected > size) return RecordError::kTruncated;
    if (expected < size) return RecordError::kBadLength;
    uint32_t storedCrc = uint32_t(data[size - 4]) | uint32_t(data[size - 3]) << 8 |
                         uint32_t(data[size - 2]) << 16 | uint32_t(data[size - 1]) << 24;
    if (Crc32(data, size - 4) != storedCrc) return RecordError::kBadChecksum;

    RangeRecord record;
    record.totalSize = total;
    in.Skip(headerSize - kRecordHeaderSize);
    const uint8_t* text = nullptr;
    in.GetBytes(etagLen, &text);
    if (!PrintableAscii(text, etagLen)) return RecordError::kBadValidator;
    record.etag.assign(reinterpret_cast<const char*>(text), etagLen);
    in.GetBytes(lastModLen, &text);
    if (!PrintableAscii(text, lastModLen)) return RecordError::kBadValidator;
    record.lastModified.assign(reinterpret_cast<const char*>(text), lastModLen);

    uint64_t previousEnd = 0;
    for (uint32_t i = 0; i < rangeCount; ++i) {
        uint64_t begin = 0, end = 0;
        in.Get64(&begin);
        in.Get64(&end);
        // Strictly after the previous range (not touching it), non-empty, inside the file.
        if (begin >= end || end > total || (i > 0 && begin <= previousEnd))
            return RecordError::kBadRange;
        record.done.Add(begin, end);
        previousEnd = end;
    }

    size_t sectionsEnd = in.Pos() + sectionBytes;
    bool haveWritten = false;
    while (in.Pos() < sectionsEnd) {
        RecordSection section;
        uint32_t length = 0;
        if (!in.Has(8) || sectionsEnd - in.Pos() < 8) return RecordError::kBadSection;
        in.Get16(&section.tag);
        in.Get16(&section.flags);
        in.Get32(&length);
        const uint8_t* body = nullptr;
        if (length > sectionsEnd - in.Pos() || !in.GetBytes(length, &body)) return RecordError::kBadSection;
        section.data.assign(body, body + length);
        if (section.tag == kSectionWrittenRanges) {
            // One section at most: a writer never repeats it, and merging a
            // second one into the first would cost time quadratic in its size.
            if (haveWritten) return RecordError::kBadWritten;
            haveWritten = true;
            RecordError error = DecodeWritten(section, &record);
            if (error != RecordError::kNone) return error;
            continue;
        }
        if (section.flags & kRecordSectionCritical) return RecordError::kUnknownCritical;
        record.sections.push_back(std::move(section));
    }
    *out = std::move(record);
    return RecordError::kNone;
}

const char* RecordErrorName(RecordError error) {
    switch (error) {
    case RecordError::kNone: return "none";
    case RecordError::kTruncated: return "truncated";
    case RecordError::kBadMagic: return "bad magic";
    case RecordError::kUnsupportedVersion: return "unsupported version";
    case RecordError::kBadHeader: return "bad header";
    case RecordError::kBadLength: return "bad length";
    case RecordError::kBadChecksum: return "bad checksum";
    case RecordError::kBadValidator: return "bad validator";
    case RecordError::kBadRange: return "bad range";
    case RecordError::kBadSection: return "bad section";
    case RecordError::kUnknownCritical: return "unknown critical section";
    case RecordError::kBadWritten: return "bad written ranges";
    }
    return "?";
}
