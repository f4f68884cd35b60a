#include "codec/Md5Tail.h"

uint64_t Md5TailStart(uint64_t fileSize) { return fileSize > kMd5TailBytes ? fileSize - kMd5TailBytes : 0; }

void CMd5Tail::Update(uint64_t offset, const void* data, size_t size) {
    const uint64_t end = offset + size;
    if (end <= start_ || offset > start_ + fed_) return;
    // Only the part that continues the tail where it stands.
    const uint64_t from = start_ + fed_;
    if (end <= from || from >= size_) return;
    const uint64_t skip = from > offset ? from - offset : 0;
    const uint64_t take = end > size_ ? size_ - from : end - from;
    md5_.Update(static_cast<const uint8_t*>(data) + skip, static_cast<size_t>(take));
    fed_ += take;
}

bool CMd5Tail::Final(uint8_t digest[CMd5::kDigestBytes]) {
    if (size_ == 0 || fed_ != size_ - start_) return false;
    md5_.Final(digest);
    return true;
}
