// Whether a program about to be launched comes from the publisher the
// portal named. Every check is made, since some platforms' WinVerifyTrust
// accepts an untrusted or expired chain on its own:
//   - WinVerifyTrust accepts the file's Authenticode signature (the file is
//     signed, and not a byte of it changed since);
//   - the signer's certificate chain passes CertVerifyCertificateChainPolicy
//     with the Authenticode policy, and the chain itself reports no error
//     (an untrusted or missing root, a certificate out of its time);
//   - the signer's certificate may sign code (its enhanced key usage);
//   - its subject's name is exactly the one expected.
// No revocation lookup goes to the network. Any thread.
#pragma once

#include <string>

enum class PublisherVerdict {
    kTrusted,
    kNotSigned,       // no signature, or a file changed since it was signed
    kUntrustedChain,  // the chain or the policy refuses it (root, time, ...)
    kNotForCode,      // the certificate is not one for signing code
    kOtherPublisher,  // signed and trusted, but by someone else
};

PublisherVerdict CheckPublisher(const std::wstring& path, const std::wstring& expectedName);
