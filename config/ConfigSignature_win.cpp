#include "config/ConfigSignature.h"

#include "base/ScopedCngHandle.h"
#include "codec/Sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <vector>

bool VerifyConfigSignature(const std::string& config, const std::string& signature,
                           const std::vector<ConfigKey>& keys) {
    uint8_t rs[64];
    if (keys.empty() || signature.size() > kMaxSignatureBytes ||
        !EcdsaSignatureFromDer(reinterpret_cast<const uint8_t*>(signature.data()), signature.size(), rs))
        return false;
    uint8_t digest[CSha256::kDigestBytes];
    CSha256 sha;
    sha.Update(config.data(), config.size());
    sha.Final(digest);
    ScopedCngAlgorithm ecdsa;
    if (BCryptOpenAlgorithmProvider(ecdsa.receive(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) != 0) return false;
    for (const ConfigKey& key : keys) {
        std::vector<uint8_t> blob(sizeof(BCRYPT_ECCKEY_BLOB) + key.size());
        BCRYPT_ECCKEY_BLOB header;
        header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
        header.cbKey = 32;
        std::memcpy(blob.data(), &header, sizeof(header));
        std::memcpy(blob.data() + sizeof(header), key.data(), key.size());
        ScopedCngKey handle;
        if (BCryptImportKeyPair(ecdsa.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, handle.receive(), blob.data(),
                                ULONG(blob.size()), 0) != 0)
            continue;
        if (BCryptVerifySignature(handle.get(), nullptr, digest, sizeof(digest), rs, sizeof(rs), 0) == 0) return true;
    }
    return false;
}
