// Host-side packer: writes a file in the stored form of the carried
// libraries (4-byte little-endian length, then the LZARI stream) and checks
// that it decodes back to the input.
//
//   lzari-pack <input> <output>
//
// The program refuses a stored form whose decoded length exceeds four times
// its size. Input that compresses better than that (long runs of zeros) gets
// zero bytes appended after the stream, which the decoder never reads.
#include "codec/Lzari.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

bool ReadAll(const char* path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool WriteAll(const char* path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: lzari-pack <input> <output>\n");
        return 2;
    }
    std::vector<uint8_t> input;
    if (!ReadAll(argv[1], input)) {
        std::fprintf(stderr, "lzari-pack: cannot read %s\n", argv[1]);
        return 1;
    }
    std::vector<uint8_t> stored;
    if (!LzariEncode(input.data(), input.size(), stored)) {
        std::fprintf(stderr, "lzari-pack: %s is too large to store\n", argv[1]);
        return 1;
    }
    const size_t minimum = (input.size() + 3) / 4;
    if (stored.size() < minimum) stored.resize(minimum, 0);

    std::vector<uint8_t> check(stored.size() * 4);
    size_t decoded = 0;
    if (!LzariDecode(stored.data(), stored.size(), check.data(), check.size(), &decoded) ||
        decoded != input.size() || !std::equal(input.begin(), input.end(), check.begin())) {
        std::fprintf(stderr, "lzari-pack: %s does not decode back to its input\n", argv[1]);
        return 1;
    }
    if (!WriteAll(argv[2], stored)) {
        std::fprintf(stderr, "lzari-pack: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
