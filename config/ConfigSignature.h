// The detached signature of a configuration: ECDSA over P-256 with SHA-256
// of the configuration's exact bytes, as the portal's publishing tool (or
// `openssl dgst -sha256 -sign`) writes it: the DER form, a SEQUENCE of the
// two INTEGERs r and s. Fetched from the configuration's URL + ".sig".
#pragma once

#include "config/PortalTrust.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kMaxSignatureBytes = 4096;  // a DER signature is at most 72 bytes

// r and s of a DER signature, each as 32 big-endian bytes. Strict: the
// shortest encodings only, positive values below 2^256, nothing after.
bool EcdsaSignatureFromDer(const uint8_t* der, size_t size, uint8_t rs[64]);

// True when one of `keys` signed `config` with `signature` (DER).
bool VerifyConfigSignature(const std::string& config, const std::string& signature,
                           const std::vector<ConfigKey>& keys);
