// The range record: what a partial download needs to resume safely.
//
// It lives in the side file `<target>.P2P.ctl` next to the partial data file
// `<target>.P2P` and is replaced atomically (written to `.ctl.new`, renamed
// over). A copy saved durably after each flush of the data,
// `<target>.P2P.ctl.safe`, stands in when a power cut damaged it
// (RecordKeeper.h). The data a record calls flushed is always flushed before
// the record is written.
//
// Byte layout, all integers little-endian:
//   0   4   magic "QPRR"
//   4   2   format version, 1; a reader refuses any other
//   6   2   header size in bytes (>= 32); bytes past the 32 known ones are
//           skipped, so fields can be appended without a version change
//   8   8   total size of the file (> 0)
//   16  4   range count
//   20  2   ETag length in bytes (<= 1024)
//   22  2   Last-Modified length in bytes (<= 256)
//   24  4   section area length in bytes
//   28  4   flags, 0
//   then    rest of the header, ETag bytes, Last-Modified bytes (printable ASCII)
//   then    range count x { begin u64, end u64 }: completed bytes [begin, end),
//           sorted, non-empty, not touching, end <= total size
//   then    sections: { tag u16, flags u16, length u32, data } each; tags
//           this reader does not know are kept when flag bit 0 (critical) is
//           clear and make the record unusable when it is set. Per-source and
//           per-connection state of later versions go here.
//   last 4  CRC-32 (IEEE) of every byte before it
// The file is exactly this long; anything else is refused.
//
// Known sections, each at most once:
//   0x0101  written ranges (not critical): { boot stamp u64, range count u32,
//           count x { begin u64, end u64 } }. The completed ranges above are
//           those flushed to disk before the record was written; these are
//           the ranges written (handed to the system) by then, a superset.
//           Written data survives the end of the process but not the end of
//           the system, so they count only while the system that wrote them
//           still runs: the boot stamp (system time minus time since start,
//           in milliseconds) tells. A reader without this section sees the
//           flushed ranges only, which is always safe.
#pragma once

#include "p2sp/record/RangeSet.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct RecordSection {
    uint16_t tag = 0;
    uint16_t flags = 0;
    std::vector<uint8_t> data;
    bool operator==(const RecordSection& o) const {
        return tag == o.tag && flags == o.flags && data == o.data;
    }
};

enum : uint16_t { kRecordSectionCritical = 1 };

struct RangeRecord {
    uint64_t totalSize = 0;
    std::string etag;          // as the server sent it, quotes included
    std::string lastModified;  // as the server sent it
    RangeSet done;             // flushed before the record was written
    // Written by the time of the record (a superset of `done`); empty when
    // the record holds no such section.
    RangeSet written;
    uint64_t bootStamp = 0;
    std::vector<RecordSection> sections;  // unknown ones, carried through unchanged
};

enum : uint16_t { kSectionWrittenRanges = 0x0101 };
// Boot stamps this close (milliseconds) name the same system start: clock
// adjustments move the stamp a little.
constexpr uint64_t kBootStampSlackMs = 10000;

// The ranges a resumed download may trust: the written ones while the system
// that wrote them still runs, else the flushed ones.
const RangeSet& ResumableRanges(const RangeRecord& record, uint64_t currentBootStamp);

enum class RecordError {
    kNone = 0,
    kTruncated,         // shorter than its own header and lengths say
    kBadMagic,
    kUnsupportedVersion,
    kBadHeader,         // header size, flags or field limits out of bounds
    kBadLength,         // bytes left over or missing
    kBadChecksum,
    kBadValidator,      // non-printable validator text
    kBadRange,          // empty, unsorted, touching or beyond the total size
    kBadSection,        // section overruns its area
    kUnknownCritical,   // a critical section this version cannot honour
    kBadWritten,        // written ranges malformed, repeated or not covering the completed ones
};

constexpr size_t kRecordHeaderSize = 32;
constexpr uint32_t kRecordMaxRanges = 1u << 20;
constexpr size_t kRecordMaxEtag = 1024;
constexpr size_t kRecordMaxLastModified = 256;
constexpr size_t kRecordMaxBytes = 64u << 20;

std::vector<uint8_t> EncodeRangeRecord(const RangeRecord& record);
RecordError DecodeRangeRecord(const uint8_t* data, size_t size, RangeRecord* out);
const char* RecordErrorName(RecordError error);

uint32_t Crc32(const uint8_t* data, size_t size);
