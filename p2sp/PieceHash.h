// A running hash through the platform's cryptography (CNG). One per
// connection: Start at a piece's first byte, Update with its bytes in order,
// Finish at its last.
#pragma once

#include "base/ScopedCngHandle.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstdint>
#include <string>
#include <vector>

class PieceHash {
public:
    // `type` as a seed names it: "sha-1", "sha-256", "sha-384", "sha-512".
    explicit PieceHash(const std::string& type);
    PieceHash(const PieceHash&) = delete;
    PieceHash& operator=(const PieceHash&) = delete;

    static bool Supported(const std::string& type);
    bool Valid() const { return algorithm_.valid(); }
    bool Start();
    bool Update(const void* data, size_t size);
    bool Finish(std::vector<uint8_t>* digest);

private:
    ScopedCngAlgorithm algorithm_;
    ScopedCngHash hash_;
    DWORD length_ = 0;
};
