// A running hash through the platform's cryptography (CNG). One per
// connection: Start at a piece's first byte, Update with its bytes in order,
// Finish at its last.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <cstdint>
#include <string>
#include <vector>

class PieceHash {
public:
    // `type` as a seed names it: "sha-1", "sha-256", "sha-384", "sha-512".
    explicit PieceHash(const std::string& type);
    ~PieceHash();
    PieceHash(const PieceHash&) = delete;
    PieceHash& operator=(const PieceHash&) = delete;

    static bool Supported(const std::string& type);
    bool Valid() const { return algorithm_ != nullptr; }
    bool Start();
    bool Update(const void* data, size_t size);
    bool Finish(std::vector<uint8_t>* digest);

private:
    void DropHash();
    BCRYPT_ALG_HANDLE algorithm_ = nullptr;  // owned
    BCRYPT_HASH_HANDLE hash_ = nullptr;      // owned
    DWORD length_ = 0;
};
