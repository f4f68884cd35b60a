// Owners for the platform cryptography's (CNG) algorithm providers, hash
// objects and keys: each closes or destroys its handle when it goes away.
#pragma once

#include "base/ScopedResource.h"

#include <windows.h>
#include <bcrypt.h>

struct CngAlgorithmTraits {
    using Handle = BCRYPT_ALG_HANDLE;
    static Handle Normalise(Handle h) { return h; }
    static void Release(Handle h) { ::BCryptCloseAlgorithmProvider(h, 0); }
};

struct CngHashTraits {
    using Handle = BCRYPT_HASH_HANDLE;
    static Handle Normalise(Handle h) { return h; }
    static void Release(Handle h) { ::BCryptDestroyHash(h); }
};

struct CngKeyTraits {
    using Handle = BCRYPT_KEY_HANDLE;
    static Handle Normalise(Handle h) { return h; }
    static void Release(Handle h) { ::BCryptDestroyKey(h); }
};

using ScopedCngAlgorithm = ScopedResource<CngAlgorithmTraits>;
using ScopedCngHash = ScopedResource<CngHashTraits>;
using ScopedCngKey = ScopedResource<CngKeyTraits>;
