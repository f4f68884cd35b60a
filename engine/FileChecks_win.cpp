#include "engine/FileChecks.h"

#include "base/ScopedHandle.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <vector>

namespace {

// Reads in blocks of this size: the digest never holds the whole tail.
const DWORD kReadBlock = 1 << 20;

bool FileSize64(const std::wstring& path, uint64_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

}  // namespace

bool FileMd5(const std::wstring& path, uint8_t digest[CMd5::kDigestBytes]) {
    // The downloaded file may still be open in the engine: share everything.
    ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0) return false;
    const uint64_t total = static_cast<uint64_t>(size.QuadPart);
    // Only the bytes the digest covers are read.
    const uint64_t start = Md5TailStart(total);
    if (start > 0) {
        LARGE_INTEGER at{};
        at.QuadPart = static_cast<LONGLONG>(start);
        if (!::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN)) return false;
    }
    CMd5Tail md5(total);
    uint64_t offset = start;
    std::vector<uint8_t> block(static_cast<size_t>(std::min<uint64_t>(total - start, kReadBlock)));
    while (offset < total) {
        const DWORD want = static_cast<DWORD>(std::min<uint64_t>(total - offset, kReadBlock));
        DWORD got = 0;
        if (!::ReadFile(file.get(), block.data(), want, &got, nullptr) || got == 0) return false;
        md5.Update(offset, block.data(), got);
        offset += got;
    }
    return md5.Final(digest);
}

bool IsFileMd5Valid(const std::wstring& path, const std::wstring& expected) {
    uint8_t digest[CMd5::kDigestBytes] = {};
    FileMd5(path, digest);
    const std::string hex = Md5Hex(digest);
    return expected == std::wstring(hex.begin(), hex.end());
}

bool IsFileSha256Valid(const std::wstring& path, const std::wstring& expected, const std::atomic<bool>* cancel) {
    if (expected.size() != 2 * CSha256::kDigestBytes) return false;
    ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return false;
    CSha256 sha;
    std::vector<uint8_t> block(kReadBlock);
    for (;;) {
        if (cancel && cancel->load()) return false;
        DWORD got = 0;
        if (!::ReadFile(file.get(), block.data(), kReadBlock, &got, nullptr)) return false;
        if (got == 0) break;
        sha.Update(block.data(), got);
    }
    uint8_t digest[CSha256::kDigestBytes];
    sha.Final(digest);
    static const char kHex[] = "0123456789abcdef";
    for (size_t i = 0; i < CSha256::kDigestBytes; ++i) {
        const wchar_t high = wchar_t(std::towlower(expected[2 * i])), low = wchar_t(std::towlower(expected[2 * i + 1]));
        if (high != wchar_t(kHex[digest[i] >> 4]) || low != wchar_t(kHex[digest[i] & 15])) return false;
    }
    return true;
}

bool IsFileOfSize(const std::wstring& path, uint64_t expectedSize) {
    uint64_t size = 0;
    return FileSize64(path, size) && size != 0 && size == expectedSize;
}
