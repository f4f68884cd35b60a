// A test's own certificate authority, trusted by this Wine prefix: its root
// is written into a root store in the registry (the current user's or the
// machine's) and removed again. Write it before anything in the process
// checks a certificate chain: the system reads its roots once, at the first
// check.
#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

// `der`: the certificate's DER bytes; `hive`: HKEY_CURRENT_USER or
// HKEY_LOCAL_MACHINE. Adding is false when the root could not be written.
bool AddRootCertificate(const std::string& der, HKEY hive);
void RemoveRootCertificate(const std::string& der, HKEY hive);

// Trusted for as long as the object lives.
class ScopedRootCertificate {
public:
    ScopedRootCertificate(const std::string& der, HKEY hive);
    ~ScopedRootCertificate();
    ScopedRootCertificate(const ScopedRootCertificate&) = delete;
    ScopedRootCertificate& operator=(const ScopedRootCertificate&) = delete;

    bool Trusted() const { return trusted_; }

private:
    std::string der_;
    HKEY hive_;
    bool trusted_ = false;
};

}  // namespace testing_support
