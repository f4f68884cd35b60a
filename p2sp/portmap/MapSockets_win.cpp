#include "p2sp/portmap/MapSockets.h"

#include "base/ScopedSocket.h"

#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <algorithm>

namespace {

constexpr DWORD kSliceMs = 50;  // the longest a wait goes without looking at the stop flag

sockaddr_in Address(uint32_t ipv4, uint16_t port) {
    sockaddr_in at;
    ZeroMemory(&at, sizeof(at));
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(ipv4);
    at.sin_port = htons(port);
    return at;
}

// Waits until `s` is readable (or writable), the deadline or `stop`.
bool WaitFor(SOCKET s, bool write, uint64_t until, const std::atomic<bool>& stop) {
    for (;;) {
        const uint64_t now = GetTickCount64();
        if (now >= until || stop.load()) return false;
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        fd_set failed;
        FD_ZERO(&failed);
        FD_SET(s, &failed);
        const DWORD slice = DWORD(std::min<uint64_t>(until - now, kSliceMs));
        timeval tv{0, long(slice) * 1000};
        const int n = select(0, write ? nullptr : &set, write ? &set : nullptr, &failed, &tv);
        if (n == SOCKET_ERROR) return false;
        if (n > 0) return !FD_ISSET(s, &failed);
    }
}

bool NonBlocking(SOCKET s) {
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}

}  // namespace

bool UdpAsk(uint32_t ipv4, uint16_t port, const std::vector<uint8_t>& request, const std::vector<DWORD>& waitsMs,
            uint64_t deadline, const std::atomic<bool>& stop,
            const std::function<bool(const uint8_t*, size_t)>& accept) {
    ScopedSocket s(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!s.valid() || !NonBlocking(s.get())) return false;
    // Connected: only the router's answers arrive, and a closed port shows
    // as an error on the next receive.
    sockaddr_in to = Address(ipv4, port);
    if (connect(s.get(), reinterpret_cast<sockaddr*>(&to), sizeof(to)) != 0) return false;
    uint8_t buffer[1100];
    for (DWORD wait : waitsMs) {
        if (send(s.get(), reinterpret_cast<const char*>(request.data()), int(request.size()), 0) == SOCKET_ERROR)
            return false;
        const uint64_t until = std::min(deadline, GetTickCount64() + wait);
        while (WaitFor(s.get(), false, until, stop)) {
            const int n = recv(s.get(), reinterpret_cast<char*>(buffer), sizeof(buffer), 0);
            if (n == SOCKET_ERROR) {
                const int error = WSAGetLastError();
                if (error == WSAECONNRESET || error == WSAECONNREFUSED) return false;  // nothing listens there
                if (error != WSAEWOULDBLOCK && error != WSAEMSGSIZE) return false;
                continue;
            }
            if (accept(buffer, size_t(n))) return true;
        }
        if (GetTickCount64() >= deadline || stop.load()) return false;
    }
    return false;
}

bool TcpAsk(const IgdUrl& url, const std::string& request, uint64_t deadline, const std::atomic<bool>& stop,
            std::string* answer) {
    ScopedSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!s.valid() || !NonBlocking(s.get())) return false;
    sockaddr_in to = Address(url.ipv4, url.port);
    if (connect(s.get(), reinterpret_cast<sockaddr*>(&to), sizeof(to)) != 0 && WSAGetLastError() != WSAEWOULDBLOCK)
        return false;
    if (!WaitFor(s.get(), true, deadline, stop)) return false;
    size_t sent = 0;
    while (sent < request.size()) {
        const int n = send(s.get(), request.data() + sent, int(request.size() - sent), 0);
        if (n == SOCKET_ERROR) {
            if (WSAGetLastError() != WSAEWOULDBLOCK || !WaitFor(s.get(), true, deadline, stop)) return false;
            continue;
        }
        sent += size_t(n);
    }
    answer->clear();
    char buffer[4096];
    while (WaitFor(s.get(), false, deadline, stop)) {
        const int n = recv(s.get(), buffer, sizeof(buffer), 0);
        if (n == 0) return true;
        if (n == SOCKET_ERROR) {
            if (WSAGetLastError() == WSAEWOULDBLOCK) continue;
            return false;
        }
        answer->append(buffer, size_t(n));
        if (answer->size() > kUpnpDocumentMax + 8192) return false;
    }
    return false;
}

bool SsdpAsk(uint32_t localIpv4, uint64_t deadline, const std::atomic<bool>& stop,
             const std::function<bool(const std::string&)>& accept) {
    ScopedSocket s(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!s.valid() || !NonBlocking(s.get())) return false;
    sockaddr_in from = Address(localIpv4, 0);
    if (bind(s.get(), reinterpret_cast<sockaddr*>(&from), sizeof(from)) != 0) return false;
    in_addr interfaceAddress;
    interfaceAddress.s_addr = htonl(localIpv4);
    setsockopt(s.get(), IPPROTO_IP, IP_MULTICAST_IF, reinterpret_cast<const char*>(&interfaceAddress),
               sizeof(interfaceAddress));
    DWORD ttl = 2;
    setsockopt(s.get(), IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<const char*>(&ttl), sizeof(ttl));
    const std::string search = SsdpSearch();
    sockaddr_in group = Address(0xEFFFFFFAu, 1900);  // 239.255.255.250
    for (int i = 0; i < 2; ++i)  // UDP may drop one
        sendto(s.get(), search.data(), int(search.size()), 0, reinterpret_cast<sockaddr*>(&group), sizeof(group));
    char buffer[4097];
    while (WaitFor(s.get(), false, deadline, stop)) {
        const int n = recv(s.get(), buffer, sizeof(buffer) - 1, 0);
        if (n == SOCKET_ERROR) {
            if (WSAGetLastError() == WSAEWOULDBLOCK || WSAGetLastError() == WSAEMSGSIZE) continue;
            return false;
        }
        if (accept(std::string(buffer, size_t(n)))) return true;
    }
    return false;
}

bool LocalAddressTowards(uint32_t ipv4, uint32_t* local) {
    ScopedSocket s(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!s.valid()) return false;
    sockaddr_in to = Address(ipv4, 5351);
    if (connect(s.get(), reinterpret_cast<sockaddr*>(&to), sizeof(to)) != 0) return false;
    sockaddr_in me;
    int size = sizeof(me);
    if (getsockname(s.get(), reinterpret_cast<sockaddr*>(&me), &size) != 0 || me.sin_addr.s_addr == 0) return false;
    *local = ntohl(me.sin_addr.s_addr);
    return true;
}

bool DefaultGateway(uint32_t* ipv4) {
    ULONG size = 0;
    if (GetIpForwardTable(nullptr, &size, FALSE) != ERROR_INSUFFICIENT_BUFFER || size == 0 || size > (1u << 20))
        return false;
    std::vector<uint8_t> buffer(size);
    auto* table = reinterpret_cast<MIB_IPFORWARDTABLE*>(buffer.data());
    if (GetIpForwardTable(table, &size, FALSE) != NO_ERROR) return false;
    bool found = false;
    DWORD best = 0;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_IPFORWARDROW& row = table->table[i];
        if (row.dwForwardDest != 0 || row.dwForwardMask != 0 || row.dwForwardNextHop == 0) continue;
        if (!found || row.dwForwardMetric1 < best) {
            *ipv4 = ntohl(row.dwForwardNextHop);
            best = row.dwForwardMetric1;
            found = true;
        }
    }
    return found;
}
