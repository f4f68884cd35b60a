// Integrity checks of a downloaded file: its size and its MD5 digest against
// the expected ones, which the caller takes from the configuration.
#pragma once

#include "codec/Md5.h"
#include "codec/Md5Tail.h"
#include "codec/Sha256.h"

#include <atomic>
#include <cstdint>
#include <string>

// MD5 of the whole file up to kMd5TailBytes, else of its last kMd5TailBytes.
// False for a missing, unreadable or empty file; digest is then untouched.
bool FileMd5(const std::wstring& path, uint8_t digest[CMd5::kDigestBytes]);

// The digest as 32 lower-case hexadecimal digits equals expected exactly
// (case-sensitive). A file without a digest compares as all zero.
bool IsFileMd5Valid(const std::wstring& path, const std::wstring& expected);

// The SHA-256 of the whole file, as 64 hexadecimal digits, equals expected
// (either case). False for a missing or unreadable file, an expected value
// that is not 64 hexadecimal digits, or when `cancel` became true (it may
// be null); reading stops within a block of the cancel.
bool IsFileSha256Valid(const std::wstring& path, const std::wstring& expected,
                       const std::atomic<bool>* cancel = nullptr);

// The file exists, is not empty, and its size is expectedSize.
bool IsFileOfSize(const std::wstring& path, uint64_t expectedSize);

// The file exists, is not empty, and its size is the configured GameSize.
// Defined by the application's wiring (EngineWiring.cpp).
bool IsFileComplete(const std::wstring& path);
