// The signature of a published configuration, which downloaders built with
// the portal's public key require (config/ConfigSignature.h): ECDSA over
// P-256 with SHA-256 of the configuration's exact bytes, DER-encoded, as
// `openssl dgst -sha256 -sign` writes it. The key is a PEM file (an "EC
// PRIVATE KEY" or a "PRIVATE KEY" of curve P-256, as `openssl ecparam -name
// prime256v1 -genkey` makes one).
#pragma once

#include <string>

bool SignConfig(const std::string& keyPath, const std::string& bytes, std::string* signature, std::string* error);

// The public key of a private key (or of a public key) in PEM, in the form
// the program's build option takes: the uncompressed point in hexadecimal
// (04, X, Y; 130 digits).
bool PublicKeyHex(const std::string& keyPath, std::string* hex, std::string* error);
