// Socket addresses of peers, either family, for Winsock calls.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include "p2sp/swarm/PeerAddress.h"

#include <cstring>

// A socket address for `a`, of its family; the length in `*length`.
inline void ToSockaddr(const PeerAddress& a, sockaddr_storage* out, int* length) {
    ZeroMemory(out, sizeof(*out));
    if (a.ip.IsV4()) {
        auto* in = reinterpret_cast<sockaddr_in*>(out);
        in->sin_family = AF_INET;
        in->sin_addr.s_addr = htonl(a.ip.V4Value());
        in->sin_port = htons(a.port);
        *length = sizeof(sockaddr_in);
    } else {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(out);
        in6->sin6_family = AF_INET6;
        memcpy(&in6->sin6_addr, a.ip.bytes, 16);
        in6->sin6_port = htons(a.port);
        *length = sizeof(sockaddr_in6);
    }
}

inline bool FromSockaddr(const sockaddr_storage& from, PeerAddress* a) {
    if (from.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(from);
        *a = PeerAddress::V4(ntohl(in.sin_addr.s_addr), ntohs(in.sin_port));
        return true;
    }
    if (from.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(from);
        a->ip = IpAddress::V6(reinterpret_cast<const uint8_t*>(&in6.sin6_addr));
        a->port = ntohs(in6.sin6_port);
        return true;
    }
    return false;
}
