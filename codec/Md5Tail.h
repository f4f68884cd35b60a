// The digest a downloaded file is checked against: MD5 of the whole file when
// it holds at most kMd5TailBytes, else MD5 of its last kMd5TailBytes only. The
// program's file check and the portal's publishing tool both compute it here,
// so the two can never disagree about which bytes count. Platform-free.
#pragma once

#include "codec/Md5.h"

#include <cstddef>
#include <cstdint>

const uint64_t kMd5TailBytes = 52428800;

// Offset of the first byte the digest covers in a file of fileSize bytes.
uint64_t Md5TailStart(uint64_t fileSize);

// Fed the file's bytes in order (from any offset at or before the tail's
// start), it digests only those from Md5TailStart on.
class CMd5Tail {
public:
    explicit CMd5Tail(uint64_t fileSize) : size_(fileSize), start_(Md5TailStart(fileSize)) {}

    // `size` bytes that sit at `offset` in the file; calls continue where the
    // last one ended.
    void Update(uint64_t offset, const void* data, size_t size);
    // False for an empty file, or when not every byte of the tail was fed;
    // digest is then untouched.
    bool Final(uint8_t digest[CMd5::kDigestBytes]);

private:
    uint64_t size_;
    uint64_t start_;
    uint64_t fed_ = 0;  // tail bytes digested so far
    CMd5 md5_;
};
