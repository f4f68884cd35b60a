// The engine's port mappings at the home router, so peers outside can reach
// a swarm that listens behind address translation. One thread for the whole
// engine: the swarms ask and read, never wait. For each listening port it
// asks the default gateway by PCP, then NAT-PMP (UDP 5351), then UPnP IGD
// (SSDP, then the connection service's AddPortMapping), keeps the first that
// grants, renews at half the lease, and deletes the mapping when the port is
// no longer wanted and at shutdown. A router that answers none of them costs
// a few seconds once: it is not asked again for ten minutes.
#pragma once

// Winsock 2 must come before anything that includes windows.h.
#include <winsock2.h>

#include "base/ScopedHandle.h"
#include "p2sp/portmap/UpnpIgd.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

enum class MapMethod : uint8_t { kNone = 0, kPcp = 1, kNatPmp = 2, kUpnp = 3 };

class PortMapper {
public:
    struct Mapping {
        uint16_t externalPort = 0;  // 0 while none is granted
        MapMethod method = MapMethod::kNone;
        uint32_t externalIpv4 = 0;  // host order, when the router said
    };

    static constexpr uint32_t kLeaseSeconds = 7200;
    static constexpr uint32_t kUpnpLeaseSeconds = 3600;
    static constexpr uint64_t kSilentRouterMs = 10 * 60 * 1000;  // not asked again for this long
    static constexpr DWORD kShutdownBudgetMs = 1500;

    PortMapper() = default;
    ~PortMapper();  // Shutdown with its budget
    PortMapper(const PortMapper&) = delete;
    PortMapper& operator=(const PortMapper&) = delete;

    void SetEnabled(bool enabled) { enabled_ = enabled; }
    bool Enabled() const { return enabled_.load(); }
    // A TCP port (with `udp`, a UDP port) listens: map it. Returns at once;
    // the thread starts on the first call.
    void Map(uint16_t port, bool udp = false);
    // The port no longer listens: its mapping is deleted soon.
    void Unmap(uint16_t port, bool udp = false);
    Mapping Get(uint16_t port, bool udp = false);
    // Deletes every mapping, giving that at most `budgetMs`, and ends the
    // thread. Later calls to Map start it again.
    void Shutdown(DWORD budgetMs = kShutdownBudgetMs);

private:
    // Entries are keyed by port, UDP ones above 0xFFFF.
    static uint32_t Key(uint16_t port, bool udp) { return port | (udp ? 0x10000u : 0u); }
    struct Entry {
        bool wanted = true;
        bool udp = false;
        Mapping granted;
        uint64_t renewAt = 0;  // tick count; 0: ask now
        uint8_t nonce[12] = {};
    };

    void Run();
    void Work(uint64_t deadline);
    // Asks for (or renews) one mapping; false when no method granted it.
    bool Establish(uint16_t port, Entry* entry, uint64_t deadline);
    void Delete(uint16_t port, const Entry& entry, uint64_t deadline);
    bool FindGateway();
    bool TryPcp(uint16_t port, Entry* entry, uint32_t lifetime, uint64_t deadline);
    bool TryNatPmp(uint16_t port, Entry* entry, uint32_t lifetime, uint64_t deadline);
    bool TryUpnp(uint16_t port, Entry* entry, uint64_t deadline);
    bool DiscoverIgd(uint64_t deadline);

    std::atomic<bool> enabled_{true};
    std::mutex lock_;  // guards entries_ and the thread's start
    std::map<uint32_t, Entry> entries_;
    std::thread thread_;
    ScopedHandle wake_;
    std::atomic<bool> stop_{false};
    const std::atomic<bool> never_{false};  // for deletes: their deadline alone ends them
    uint64_t shutdownBy_ = 0;  // the deletes' deadline once stop_ is set
    // The thread's own knowledge of the router.
    uint32_t gateway_ = 0;  // host order
    uint32_t local_ = 0;    // our address towards it
    MapMethod works_ = MapMethod::kNone;  // the method that granted last
    uint64_t silentUntil_ = 0;
    bool igdKnown_ = false;
    IgdService igd_;
};
