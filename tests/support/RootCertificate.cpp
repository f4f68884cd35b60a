#include "tests/support/RootCertificate.h"

#include "base/ScopedRegKey.h"

#include <wincrypt.h>

#include <cstring>

namespace testing_support {

namespace {

// The store's key for a certificate: named by its SHA-1 thumbprint.
std::wstring StoreKey(const std::string& der) {
    BYTE hash[20] = {};
    DWORD hashSize = sizeof(hash);
    if (der.empty() || !::CryptHashCertificate(0, CALG_SHA1, 0, reinterpret_cast<const BYTE*>(der.data()),
                                               static_cast<DWORD>(der.size()), hash, &hashSize))
        return std::wstring();
    std::wstring thumbprint;
    for (DWORD i = 0; i < hashSize; ++i) {
        static const wchar_t kHex[] = L"0123456789ABCDEF";
        thumbprint += kHex[hash[i] >> 4];
        thumbprint += kHex[hash[i] & 15];
    }
    return L"Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\" + thumbprint;
}

}  // namespace

bool AddRootCertificate(const std::string& der, HKEY hive) {
    const std::wstring name = StoreKey(der);
    if (name.empty()) return false;
    // One stored property: the certificate itself (CERT_CERT_PROP_ID).
    std::string blob(12, '\0');
    const DWORD header[3] = {0x20, 1, static_cast<DWORD>(der.size())};
    std::memcpy(&blob[0], header, sizeof(header));
    blob += der;
    ScopedRegKey key;
    if (::RegCreateKeyExW(hive, name.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.receive(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    return ::RegSetValueExW(key.get(), L"Blob", 0, REG_BINARY, reinterpret_cast<const BYTE*>(blob.data()),
                            static_cast<DWORD>(blob.size())) == ERROR_SUCCESS;
}

void RemoveRootCertificate(const std::string& der, HKEY hive) {
    const std::wstring name = StoreKey(der);
    if (!name.empty()) ::RegDeleteKeyW(hive, name.c_str());
}

ScopedRootCertificate::ScopedRootCertificate(const std::string& der, HKEY hive)
    : der_(der), hive_(hive), trusted_(AddRootCertificate(der, hive)) {}

ScopedRootCertificate::~ScopedRootCertificate() {
    if (trusted_) RemoveRootCertificate(der_, hive_);
}

}  // namespace testing_support
