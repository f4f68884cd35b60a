// Owner for Winsock sockets: closes its socket when it goes away. Include it
// before anything that includes windows.h (Winsock 2 must come first).
#pragma once

#include "base/ScopedResource.h"

#include <winsock2.h>

struct SocketTraits {
    using Handle = SOCKET;
    static constexpr SOCKET Empty() { return INVALID_SOCKET; }
    static SOCKET Normalise(SOCKET s) { return s; }
    static void Release(SOCKET s) { ::closesocket(s); }
};

using ScopedSocket = ScopedResource<SocketTraits>;
