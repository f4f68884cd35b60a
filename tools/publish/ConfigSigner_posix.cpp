#include "tools/publish/ConfigSigner.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstdio>
#include <memory>

namespace {

struct KeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyDeleter>;

// A P-256 key from a PEM file: a private key, or with `publicAllowed`,
// a public one.
Key ReadKey(const std::string& path, bool publicAllowed, std::string* error) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        *error = "cannot read the key " + path;
        return Key();
    }
    Key key(PEM_read_PrivateKey(file, nullptr, nullptr, nullptr));
    if (!key && publicAllowed) {
        std::rewind(file);
        key.reset(PEM_read_PUBKEY(file, nullptr, nullptr, nullptr));
    }
    std::fclose(file);
    char curve[64] = "";
    size_t length = 0;
    if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_EC ||
        !EVP_PKEY_get_utf8_string_param(key.get(), OSSL_PKEY_PARAM_GROUP_NAME, curve, sizeof(curve), &length) ||
        std::string(curve) != "prime256v1") {
        *error = "the key " + path + " is not a PEM key of curve P-256 (prime256v1)";
        return Key();
    }
    return key;
}

}  // namespace

bool SignConfig(const std::string& keyPath, const std::string& bytes, std::string* signature, std::string* error) {
    Key key = ReadKey(keyPath, false, error);
    if (!key) return false;
    std::unique_ptr<EVP_MD_CTX, ContextDeleter> context(EVP_MD_CTX_new());
    size_t size = 0;
    if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &size, reinterpret_cast<const unsigned char*>(bytes.data()),
                       bytes.size()) != 1) {
        *error = "cannot sign the configuration with " + keyPath;
        return false;
    }
    signature->assign(size, '\0');
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(&(*signature)[0]), &size,
                       reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) != 1) {
        *error = "cannot sign the configuration with " + keyPath;
        return false;
    }
    signature->resize(size);
    return true;
}

bool PublicKeyHex(const std::string& keyPath, std::string* hex, std::string* error) {
    Key key = ReadKey(keyPath, true, error);
    if (!key) return false;
    unsigned char point[65];
    size_t length = 0;
    if (!EVP_PKEY_set_utf8_string_param(key.get(), OSSL_PKEY_PARAM_EC_POINT_CONVERSION_FORMAT, "uncompressed") ||
        !EVP_PKEY_get_octet_string_param(key.get(), OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, point, sizeof(point),
                                         &length) ||
        length != sizeof(point) || point[0] != 4) {
        *error = "cannot read the public point of " + keyPath;
        return false;
    }
    static const char kHex[] = "0123456789abcdef";
    hex->clear();
    for (unsigned char b : point) {
        hex->push_back(kHex[b >> 4]);
        hex->push_back(kHex[b & 15]);
    }
    return true;
}
