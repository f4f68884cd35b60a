// Owner of one open registry key: closed when the owner goes away, so no
// failure path can leak it. The predefined roots (HKEY_LOCAL_MACHINE ...) are
// never handed to it.
#pragma once

#include "base/ScopedResource.h"

#include <windows.h>

struct RegKeyTraits {
    using Handle = HKEY;
    static HKEY Normalise(HKEY key) { return key; }
    static void Release(HKEY key) { ::RegCloseKey(key); }
};

using ScopedRegKey = ScopedResource<RegKeyTraits>;
