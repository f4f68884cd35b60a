// LZARI: round trips through the encoder and decoder, and the decoder's
// refusals. Buffers for damaged input sit against no-access pages, so any
// read or write out of bounds ends the test program.
#include "codec/Lzari.h"
#include "tests/support/TestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

// size bytes ending exactly where a no-access page begins.
class GuardedBytes {
public:
    explicit GuardedBytes(size_t size) : size_(size) {
        SYSTEM_INFO info;
        ::GetSystemInfo(&info);
        const size_t page = info.dwPageSize;
        const size_t usable = (size + page - 1) / page * page;
        base_ = static_cast<uint8_t*>(::VirtualAlloc(nullptr, usable + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        ::VirtualProtect(base_ + usable, page, PAGE_NOACCESS, &old);
        data_ = base_ + usable - size;
    }
    ~GuardedBytes() { ::VirtualFree(base_, 0, MEM_RELEASE); }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;
    uint8_t* data() { return data_; }
    size_t size() const { return size_; }

private:
    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
    size_t size_;
};

std::vector<uint8_t> Encode(const std::vector<uint8_t>& input) {
    std::vector<uint8_t> stored;
    EXPECT_TRUE(LzariEncode(input.data(), input.size(), stored));
    return stored;
}

// Decodes from a guarded copy of stored into a guarded output of capacity.
bool DecodeGuarded(const std::vector<uint8_t>& stored, size_t capacity, std::vector<uint8_t>* decoded = nullptr) {
    GuardedBytes in(stored.size());
    std::copy(stored.begin(), stored.end(), in.data());
    GuardedBytes out(capacity);
    size_t length = 12345;
    const bool ok = LzariDecode(in.data(), in.size(), out.data(), out.size(), &length);
    if (!ok) {
        EXPECT_EQ(0u, length);
    }
    if (decoded) decoded->assign(out.data(), out.data() + (ok ? length : 0));
    return ok;
}

void ExpectRoundTrip(const std::vector<uint8_t>& input) {
    const std::vector<uint8_t> stored = Encode(input);
    std::vector<uint8_t> decoded;
    // The output buffer is exactly the decoded length: one byte more written
    // would hit the guard page.
    ASSERT_TRUE(DecodeGuarded(stored, input.size(), &decoded)) << "length " << input.size();
    EXPECT_TRUE(decoded == input) << "length " << input.size();
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(n);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

// Text with many repeats, near and far, and runs longer than a match.
std::vector<uint8_t> RepetitiveBytes(size_t n, uint32_t seed) {
    std::mt19937 random(seed);
    const std::string words[] = {"download ", "engine ", "    ", "\0\0\0\0\0\0\0\0", "task 1 ", "range "};
    std::vector<uint8_t> bytes;
    while (bytes.size() < n) {
        const std::string& w = words[random() % 6];
        const size_t times = random() % 3 == 0 ? 40 : 1;
        for (size_t t = 0; t < times; ++t) bytes.insert(bytes.end(), w.begin(), w.end());
    }
    bytes.resize(n);
    return bytes;
}

TEST(Lzari, EmptyInputIsTheHeaderAlone) {
    const std::vector<uint8_t> stored = Encode({});
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 0}), stored);
    size_t length = 99;
    EXPECT_TRUE(LzariDecode(stored.data(), stored.size(), nullptr, 0, &length));
    EXPECT_EQ(0u, length);
}

TEST(Lzari, HeaderIsTheLittleEndianLength) {
    const std::vector<uint8_t> stored = Encode(RandomBytes(0x010203, 1));
    ASSERT_GE(stored.size(), 4u);
    EXPECT_EQ(0x03, stored[0]);
    EXPECT_EQ(0x02, stored[1]);
    EXPECT_EQ(0x01, stored[2]);
    EXPECT_EQ(0x00, stored[3]);
}

TEST(Lzari, OneByteRoundTrips) {
    for (int b : {0, 0x20, 0x7f, 0xff}) ExpectRoundTrip({static_cast<uint8_t>(b)});
}

// Lengths around the lookahead (60), the match threshold and the ring
// (4096, first write at 4036) catch off-by-one faults in the window.
TEST(Lzari, LengthsAroundTheWindowEdgesRoundTrip) {
    for (size_t n : {2, 3, 4, 59, 60, 61, 62, 4035, 4036, 4037, 4095, 4096, 4097, 8192, 8253}) {
        ExpectRoundTrip(RandomBytes(n, static_cast<uint32_t>(n)));
        ExpectRoundTrip(RepetitiveBytes(n, static_cast<uint32_t>(n)));
    }
}

TEST(Lzari, SpacesMatchThePrefilledRing) {
    // All spaces: every match reaches back into the ring's initial spaces.
    const std::vector<uint8_t> spaces(100000, ' ');
    const std::vector<uint8_t> stored = Encode(spaces);
    EXPECT_LT(stored.size(), 4000u);
    ExpectRoundTrip(spaces);
}

TEST(Lzari, RepetitiveInputRoundTripsAndShrinks) {
    const std::vector<uint8_t> input = RepetitiveBytes(300000, 7);
    EXPECT_LT(Encode(input).size(), input.size() / 4);
    ExpectRoundTrip(input);
}

TEST(Lzari, RandomInputRoundTrips) { ExpectRoundTrip(RandomBytes(1 << 20, 3)); }

TEST(Lzari, EngineLibraryRoundTrips) {
    std::string dll;
    ASSERT_TRUE(ReadFileBytes(BinDir() + L"\\QelvoP2SP.dll", dll));
    ASSERT_GT(dll.size(), 100000u);
    ExpectRoundTrip(std::vector<uint8_t>(dll.begin(), dll.end()));
}

TEST(Lzari, LengthAboveTheCapacityIsRefused) {
    const std::vector<uint8_t> input = RandomBytes(1000, 5);
    const std::vector<uint8_t> stored = Encode(input);
    EXPECT_FALSE(DecodeGuarded(stored, input.size() - 1));
    EXPECT_TRUE(DecodeGuarded(stored, input.size()));
    // A header claiming 4 GiB - 1 is refused before any output is touched.
    std::vector<uint8_t> huge = stored;
    huge[0] = huge[1] = huge[2] = huge[3] = 0xff;
    EXPECT_FALSE(DecodeGuarded(huge, 4 * huge.size()));
}

TEST(Lzari, StoredFormShorterThanItsHeaderIsRefused) {
    size_t length = 1;
    uint8_t out[8];
    const uint8_t stored[3] = {1, 0, 0};
    EXPECT_FALSE(LzariDecode(stored, 3, out, sizeof(out), &length));
    EXPECT_FALSE(LzariDecode(nullptr, 0, out, sizeof(out), &length));
    EXPECT_EQ(0u, length);
}

TEST(Lzari, TruncatedStreamsAreRefused) {
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        const std::vector<uint8_t> input = seed % 2 ? RandomBytes(20000 + seed * 999, seed)
                                                    : RepetitiveBytes(60000 + seed * 999, seed);
        const std::vector<uint8_t> stored = Encode(input);
        for (size_t keep : {size_t(4), size_t(5), stored.size() / 2, stored.size() - 3, stored.size() - 2}) {
            EXPECT_FALSE(DecodeGuarded(std::vector<uint8_t>(stored.begin(), stored.begin() + keep), input.size()))
                << "seed " << seed << " kept " << keep << " of " << stored.size();
        }
    }
}

// A cut stream once decoded "successfully" to wrong bytes: the missing bits
// read as zeros. Every cut, down to the header alone, must be refused.
TEST(Lzari, EveryCutOfAStreamIsRefused) {
    const std::vector<std::vector<uint8_t>> inputs = {
        {0xc3, 0xc3, 0x41},
        {0x00},
        {' '},
        RandomBytes(300, 21),
        RepetitiveBytes(8000, 22),
        std::vector<uint8_t>(5000, ' '),
    };
    for (const std::vector<uint8_t>& input : inputs) {
        const std::vector<uint8_t> stored = Encode(input);
        ASSERT_TRUE(DecodeGuarded(stored, input.size())) << "length " << input.size();
        for (size_t keep = 0; keep < stored.size(); ++keep) {
            EXPECT_FALSE(DecodeGuarded(std::vector<uint8_t>(stored.begin(), stored.begin() + keep), input.size()))
                << "input of " << input.size() << " bytes, kept " << keep << " of " << stored.size();
        }
    }
}

TEST(Lzari, StreamsLackingTheirLastByteAreRefused) {
    // Streams of three bytes that lack their last byte (or more).
    const std::vector<std::vector<uint8_t>> cut = {
        {0x03, 0x00, 0x00, 0x00, 0x61, 0x04, 0x37, 0x80},
        {0x03, 0x00, 0x00, 0x00, 0x61, 0x04, 0x37},
        {0x03, 0x00, 0x00, 0x00, 0x61, 0x04},
    };
    for (const std::vector<uint8_t>& stored : cut) EXPECT_FALSE(DecodeGuarded(stored, 3)) << stored.size() << " bytes";
}

TEST(Lzari, BytesAfterTheStreamAreNeverRead) {
    // The packer pads stored forms that expand more than fourfold.
    const std::vector<uint8_t> input(50000, 0);
    std::vector<uint8_t> stored = Encode(input);
    stored.resize(stored.size() + 20000, 0xAB);
    std::vector<uint8_t> decoded;
    ASSERT_TRUE(DecodeGuarded(stored, input.size(), &decoded));
    EXPECT_TRUE(decoded == input);
}

TEST(Lzari, GarbageNeverReadsOrWritesOutOfBounds) {
    std::mt19937 random(11);
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<uint8_t> stored = RandomBytes(4 + random() % 3000, static_cast<uint32_t>(trial));
        // A plausible length, so decoding runs instead of being refused at once.
        const uint32_t n = static_cast<uint32_t>(random() % (stored.size() * 4));
        for (int i = 0; i < 4; ++i) stored[i] = static_cast<uint8_t>(n >> (8 * i));
        DecodeGuarded(stored, n);  // any result; the guard pages catch overruns
    }
    // Damaged copies of a real stream, too.
    const std::vector<uint8_t> good = Encode(RepetitiveBytes(40000, 2));
    for (int trial = 0; trial < 100; ++trial) {
        std::vector<uint8_t> damaged = good;
        for (int flips = 0; flips < 3; ++flips) damaged[4 + random() % (damaged.size() - 4)] ^= 1 << (random() % 8);
        DecodeGuarded(damaged, 40000);
    }
}

}  // namespace
