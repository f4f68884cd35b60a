#include "p2sp/PieceHash.h"

namespace {

const wchar_t* AlgorithmFor(const std::string& type) {
    if (type == "sha-1") return BCRYPT_SHA1_ALGORITHM;
    if (type == "sha-256") return BCRYPT_SHA256_ALGORITHM;
    if (type == "sha-384") return BCRYPT_SHA384_ALGORITHM;
    if (type == "sha-512") return BCRYPT_SHA512_ALGORITHM;
    return nullptr;
}

}  // namespace

bool PieceHash::Supported(const std::string& type) { return AlgorithmFor(type) != nullptr; }

PieceHash::PieceHash(const std::string& type) {
    const wchar_t* id = AlgorithmFor(type);
    if (!id || BCryptOpenAlgorithmProvider(algorithm_.receive(), id, nullptr, 0) != 0) {
        algorithm_.release();  // a failed open leaves nothing to close
        return;
    }
    DWORD got = 0;
    if (BCryptGetProperty(algorithm_.get(), BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length_), sizeof(length_),
                          &got, 0) != 0) {
        algorithm_.reset();
    }
}

bool PieceHash::Start() {
    hash_.reset();
    if (!algorithm_ || BCryptCreateHash(algorithm_.get(), hash_.receive(), nullptr, 0, nullptr, 0, 0) != 0) {
        hash_.release();  // a failed creation leaves nothing to destroy
        return false;
    }
    return true;
}

bool PieceHash::Update(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        ULONG n = ULONG(size > 0x40000000u ? 0x40000000u : size);
        if (!hash_ || BCryptHashData(hash_.get(), const_cast<PUCHAR>(p), n, 0) != 0) return false;
        p += n;
        size -= n;
    }
    return true;
}

bool PieceHash::Finish(std::vector<uint8_t>* digest) {
    digest->assign(length_, 0);
    bool ok = hash_ && BCryptFinishHash(hash_.get(), digest->data(), length_, 0) == 0;
    hash_.reset();
    return ok;
}
