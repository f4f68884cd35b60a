// Owner of one WinINet handle (a session, a connection or a request): closed
// once when the owner goes away or is reset, so no failure path can leak it.
#pragma once

#include "base/ScopedResource.h"

#include <windows.h>
#include <wininet.h>

struct InternetHandleTraits {
    using Handle = HINTERNET;
    static HINTERNET Normalise(HINTERNET h) { return h; }
    static void Release(HINTERNET h) { ::InternetCloseHandle(h); }
};

using ScopedInternetHandle = ScopedResource<InternetHandleTraits>;
