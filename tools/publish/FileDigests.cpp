#include "tools/publish/FileDigests.h"

#include "codec/Md5Tail.h"
#include "codec/Sha1.h"
#include "codec/Sha256.h"

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;

namespace {

const size_t kBlockBytes = 4u << 20;
const size_t kBlocksInFlight = 6;

// The blocks read so far, each held until every digest has taken it.
class BlockRing {
public:
    explicit BlockRing(int consumers) : consumers_(consumers), slots_(kBlocksInFlight) {
        for (Slot& slot : slots_) slot.bytes.resize(kBlockBytes);
    }

    // Reader: the buffer for block `index`, once every consumer is done with
    // its last use.
    std::vector<uint8_t>& Acquire(uint64_t index) {
        std::unique_lock<std::mutex> hold(lock_);
        Slot& slot = slots_[index % kBlocksInFlight];
        freed_.wait(hold, [&] { return slot.pending == 0; });
        return slot.bytes;
    }
    void Publish(uint64_t index, uint64_t offset, size_t size) {
        std::lock_guard<std::mutex> hold(lock_);
        Slot& slot = slots_[index % kBlocksInFlight];
        slot.offset = offset;
        slot.size = size;
        slot.pending = consumers_;
        published_ = index + 1;
        filled_.notify_all();
    }
    void Finish() {
        std::lock_guard<std::mutex> hold(lock_);
        finished_ = true;
        filled_.notify_all();
    }

    // Consumer: block `index`, or false when the reader has finished before it.
    bool Take(uint64_t index, const uint8_t** bytes, size_t* size, uint64_t* offset) {
        std::unique_lock<std::mutex> hold(lock_);
        filled_.wait(hold, [&] { return published_ > index || finished_; });
        if (published_ <= index) return false;
        const Slot& slot = slots_[index % kBlocksInFlight];
        *bytes = slot.bytes.data();
        *size = slot.size;
        *offset = slot.offset;
        return true;
    }
    void Release(uint64_t index) {
        std::lock_guard<std::mutex> hold(lock_);
        if (--slots_[index % kBlocksInFlight].pending == 0) freed_.notify_all();
    }

private:
    struct Slot {
        std::vector<uint8_t> bytes;
        uint64_t offset = 0;
        size_t size = 0;
        int pending = 0;
    };
    const int consumers_;
    std::vector<Slot> slots_;
    std::mutex lock_;
    std::condition_variable filled_;
    std::condition_variable freed_;
    uint64_t published_ = 0;
    bool finished_ = false;
};

// Feeds a hash piece by piece: one digest per pieceLength bytes, the last
// piece shorter.
template <typename Hash, size_t N>
class PieceHasher {
public:
    PieceHasher(uint64_t pieceLength, std::vector<std::array<uint8_t, N>>* out) : length_(pieceLength), out_(out) {}
    void Update(const uint8_t* bytes, size_t size) {
        while (size > 0) {
            const uint64_t room = length_ - filled_;
            const size_t take = room < size ? static_cast<size_t>(room) : size;
            hash_.Update(bytes, take);
            filled_ += take;
            bytes += take;
            size -= take;
            if (filled_ == length_) Close();
        }
    }
    void Finish() {
        if (filled_ > 0) Close();
    }

private:
    void Close() {
        std::array<uint8_t, N> digest;
        hash_.Final(digest.data());
        out_->push_back(digest);
        filled_ = 0;
    }
    Hash hash_;
    uint64_t length_;
    uint64_t filled_ = 0;
    std::vector<std::array<uint8_t, N>>* out_;
};

// Runs `work` on every block in order, on its own thread.
template <typename Work>
std::thread Consumer(BlockRing& ring, Work work) {
    return std::thread([&ring, work]() mutable {
        const uint8_t* bytes = nullptr;
        size_t size = 0;
        uint64_t offset = 0;
        for (uint64_t index = 0; ring.Take(index, &bytes, &size, &offset); ++index) {
            work(offset, bytes, size);
            ring.Release(index);
        }
    });
}

}  // namespace

std::string HexText(const uint8_t* bytes, size_t count) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

uint64_t ChoosePieceLength(uint64_t size) {
    uint64_t length = 256u << 10;
    while (length < (16u << 20) && size / length > 2000) length *= 2;
    return length;
}

bool DigestFile(const std::string& path, uint64_t pieceLength, const std::string& copyTo,
                const DigestProgress& progress, FileDigests* digests, std::string* error) {
    std::error_code failure;
    const fs::path source = fs::u8path(path);
    const uint64_t size = fs::file_size(source, failure);
    if (failure) {
        *error = "cannot read " + path + ": " + failure.message();
        return false;
    }
    std::ifstream in(source, std::ios::binary);
    if (!in) {
        *error = "cannot open " + path;
        return false;
    }
    std::ofstream copy;
    if (!copyTo.empty()) {
        copy.open(fs::u8path(copyTo), std::ios::binary | std::ios::trunc);
        if (!copy) {
            *error = "cannot write " + copyTo;
            return false;
        }
    }
    FileDigests result;
    result.size = size;
    result.pieceLength = pieceLength ? pieceLength : ChoosePieceLength(size);

    CSha256 whole;
    CMd5Tail tail(size);
    PieceHasher<CSha1, CSha1::kDigestBytes> sha1Pieces(result.pieceLength, &result.sha1Pieces);
    PieceHasher<CSha256, CSha256::kDigestBytes> sha256Pieces(result.pieceLength, &result.sha256Pieces);

    BlockRing ring(3);
    std::thread workers[] = {
        Consumer(ring, [&](uint64_t, const uint8_t* b, size_t n) { whole.Update(b, n); }),
        Consumer(ring, [&](uint64_t, const uint8_t* b, size_t n) { sha256Pieces.Update(b, n); }),
        Consumer(ring, [&](uint64_t at, const uint8_t* b, size_t n) {
            sha1Pieces.Update(b, n);
            tail.Update(at, b, n);
        }),
    };
    uint64_t done = 0;
    bool ok = true;
    for (uint64_t index = 0; done < size; ++index) {
        std::vector<uint8_t>& block = ring.Acquire(index);
        const size_t want = size - done < kBlockBytes ? static_cast<size_t>(size - done) : kBlockBytes;
        in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(want));
        const size_t got = static_cast<size_t>(in.gcount());
        if (got != want) {
            *error = "cannot read " + path + " (it changed while it was read?)";
            ok = false;
            break;
        }
        if (copy.is_open() && !copy.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(got))) {
            *error = "cannot write " + copyTo;
            ok = false;
            break;
        }
        ring.Publish(index, done, got);
        done += got;
        if (progress) progress(done, size);
    }
    ring.Finish();
    for (std::thread& worker : workers) worker.join();
    if (!ok) return false;
    if (copy.is_open()) {
        copy.close();
        if (!copy) {
            *error = "cannot write " + copyTo;
            return false;
        }
    }
    uint8_t md5[CMd5::kDigestBytes];
    if (!tail.Final(md5)) {
        *error = path + " is empty";
        return false;
    }
    uint8_t sha[CSha256::kDigestBytes];
    whole.Final(sha);
    sha1Pieces.Finish();
    sha256Pieces.Finish();
    result.md5Tail = HexText(md5, sizeof(md5));
    result.sha256 = HexText(sha, sizeof(sha));
    *digests = std::move(result);
    return true;
}
