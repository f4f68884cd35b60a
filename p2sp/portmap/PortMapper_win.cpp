#include "p2sp/portmap/PortMapper.h"

#include "p2sp/portmap/MapPackets.h"
#include "p2sp/portmap/MapSockets.h"

#include <bcrypt.h>

#include <algorithm>
#include <vector>

namespace {

// RFC 6886's first waits, cut short: a router that speaks the protocol
// answers within milliseconds on a home segment.
const std::vector<DWORD> kAskWaitsMs = {250, 500, 1000};
const std::vector<DWORD> kDeleteWaitsMs = {250};
constexpr DWORD kSsdpWaitMs = 2000;
constexpr DWORD kHttpWaitMs = 3000;
constexpr DWORD kIdleWaitMs = 60000;
constexpr uint64_t kRetryMs = 60000;  // a mapping refused or lost is asked again after this
constexpr int kUpnpOnlyPermanent = 725;
constexpr int kUpnpConflict = 718;

uint64_t Now() { return GetTickCount64(); }

}  // namespace

PortMapper::~PortMapper() { Shutdown(); }

void PortMapper::Map(uint16_t port, bool udp) {
    if (!enabled_.load() || port == 0) return;
    std::lock_guard<std::mutex> hold(lock_);
    Entry& entry = entries_[Key(port, udp)];
    entry.wanted = true;
    entry.udp = udp;
    if (!wake_.valid()) wake_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!thread_.joinable()) {
        stop_ = false;
        thread_ = std::thread([this] { Run(); });
    }
    SetEvent(wake_.get());
}

void PortMapper::Unmap(uint16_t port, bool udp) {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = entries_.find(Key(port, udp));
    if (it == entries_.end()) return;
    it->second.wanted = false;
    if (wake_.valid()) SetEvent(wake_.get());
}

PortMapper::Mapping PortMapper::Get(uint16_t port, bool udp) {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = entries_.find(Key(port, udp));
    return it == entries_.end() || !it->second.wanted ? Mapping() : it->second.granted;
}

void PortMapper::Shutdown(DWORD budgetMs) {
    std::thread thread;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (!thread_.joinable()) return;
        for (auto& entry : entries_) entry.second.wanted = false;
        shutdownBy_ = Now() + budgetMs;
        stop_ = true;
        SetEvent(wake_.get());
        thread.swap(thread_);
    }
    thread.join();
}

void PortMapper::Run() {
    WSADATA data;
    const bool winsock = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    while (winsock) {
        const bool stopping = stop_.load();
        // Deletes at shutdown get the caller's budget; other work its own waits.
        Work(stopping ? shutdownBy_ : UINT64_MAX);
        if (stopping) break;
        uint64_t next = Now() + kIdleWaitMs;
        {
            std::lock_guard<std::mutex> hold(lock_);
            for (const auto& entry : entries_)
                if (entry.second.wanted) next = std::min(next, entry.second.renewAt);
        }
        const uint64_t now = Now();
        WaitForSingleObject(wake_.get(), next > now ? DWORD(std::min<uint64_t>(next - now, kIdleWaitMs)) : 0);
    }
    {
        std::lock_guard<std::mutex> hold(lock_);
        entries_.clear();
    }
    if (winsock) WSACleanup();
}

void PortMapper::Work(uint64_t deadline) {
    // One entry at a time, the lock not held while the router is asked.
    for (;;) {
        uint32_t key = 0;
        Entry entry;
        bool found = false;
        {
            std::lock_guard<std::mutex> hold(lock_);
            const uint64_t now = Now();
            for (auto it = entries_.begin(); it != entries_.end();) {
                const bool mapped = it->second.granted.method != MapMethod::kNone;
                if (!it->second.wanted && !mapped) {
                    it = entries_.erase(it);  // nothing to delete at the router
                    continue;
                }
                if (!it->second.wanted || (!stop_.load() && it->second.renewAt <= now)) {
                    key = it->first;
                    entry = it->second;
                    found = true;
                    break;
                }
                ++it;
            }
        }
        if (!found) return;
        const uint16_t port = uint16_t(key);
        if (!entry.wanted) {
            if (Now() < deadline) Delete(port, entry, deadline);
            std::lock_guard<std::mutex> hold(lock_);
            auto it = entries_.find(key);
            if (it != entries_.end() && !it->second.wanted) entries_.erase(it);
            continue;
        }
        const bool granted = Establish(port, &entry, std::min(deadline, Now() + 10000));
        if (!granted) {
            entry.granted = Mapping();
            entry.renewAt = Now() + (Now() < silentUntil_ ? kSilentRouterMs : kRetryMs);
        }
        std::lock_guard<std::mutex> hold(lock_);
        auto it = entries_.find(key);
        if (it == entries_.end()) continue;
        if (it->second.wanted) {
            it->second = entry;
        } else if (granted) {
            // Unmapped while it was being asked for: deleted next round.
            it->second.granted = entry.granted;
            std::copy(entry.nonce, entry.nonce + 12, it->second.nonce);
        }
    }
}

bool PortMapper::FindGateway() {
    uint32_t gateway = 0, local = 0;
    if (!DefaultGateway(&gateway) || !LocalAddressTowards(gateway, &local)) return false;
    if (gateway != gateway_) {
        igdKnown_ = false;
        works_ = MapMethod::kNone;
    }
    gateway_ = gateway;
    local_ = local;
    return true;
}

bool PortMapper::Establish(uint16_t port, Entry* entry, uint64_t deadline) {
    const uint64_t now = Now();
    if (now < silentUntil_ && entry->granted.method == MapMethod::kNone) return false;
    if (!FindGateway()) {
        silentUntil_ = now + kSilentRouterMs;
        return false;
    }
    if (entry->granted.method == MapMethod::kNone)
        BCryptGenRandom(nullptr, entry->nonce, sizeof(entry->nonce), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    // The method that granted last first, then PCP, NAT-PMP and UPnP.
    std::vector<MapMethod> order = {MapMethod::kPcp, MapMethod::kNatPmp, MapMethod::kUpnp};
    const MapMethod first = entry->granted.method != MapMethod::kNone ? entry->granted.method : works_;
    if (first != MapMethod::kNone) {
        order.erase(std::find(order.begin(), order.end(), first));
        order.insert(order.begin(), first);
    }
    for (MapMethod method : order) {
        if (stop_.load() || Now() >= deadline) return false;
        bool granted = false;
        if (method == MapMethod::kPcp) granted = TryPcp(port, entry, kLeaseSeconds, deadline);
        if (method == MapMethod::kNatPmp) granted = TryNatPmp(port, entry, kLeaseSeconds, deadline);
        if (method == MapMethod::kUpnp) granted = TryUpnp(port, entry, deadline);
        if (granted) {
            works_ = method;
            silentUntil_ = 0;
            return true;
        }
    }
    silentUntil_ = Now() + kSilentRouterMs;
    return false;
}

bool PortMapper::TryPcp(uint16_t port, Entry* entry, uint32_t lifetime, uint64_t deadline) {
    MapAnswer answer;
    const std::vector<uint8_t> request =
        PcpMapRequest(entry->nonce, local_, port, entry->granted.externalPort ? entry->granted.externalPort : port,
                      lifetime, entry->udp);
    // A delete is sent while stopping too: only its deadline cuts it short.
    const bool answered = UdpAsk(gateway_, kMapServerPort, request, lifetime ? kAskWaitsMs : kDeleteWaitsMs, deadline,
                                 lifetime ? stop_ : never_, [&](const uint8_t* data, size_t size) {
                                     return IsUnsupportedVersionAnswer(data, size) ||
                                            ParsePcpMapAnswer(data, size, entry->nonce, port, &answer, entry->udp);
                                 });
    // An answer in another version leaves `answer` empty: no port, no lease.
    if (!answered || answer.result != 0 || lifetime == 0 || answer.externalPort == 0 || answer.lifetime == 0)
        return false;
    entry->granted.method = MapMethod::kPcp;
    entry->granted.externalPort = answer.externalPort;
    entry->granted.externalIpv4 = answer.externalIpv4;
    entry->renewAt = Now() + uint64_t(std::max<uint32_t>(answer.lifetime / 2, 30)) * 1000;
    return true;
}

bool PortMapper::TryNatPmp(uint16_t port, Entry* entry, uint32_t lifetime, uint64_t deadline) {
    MapAnswer answer;
    const std::vector<uint8_t> request =
        NatPmpMapRequest(port, entry->granted.externalPort ? entry->granted.externalPort : port, lifetime, entry->udp);
    bool unsupported = false;
    const bool answered = UdpAsk(gateway_, kMapServerPort, request, lifetime ? kAskWaitsMs : kDeleteWaitsMs, deadline,
                                 lifetime ? stop_ : never_, [&](const uint8_t* data, size_t size) {
                                     if (IsUnsupportedVersionAnswer(data, size)) return unsupported = true;
                                     return ParseNatPmpMapAnswer(data, size, port, &answer, entry->udp);
                                 });
    if (!answered || unsupported || answer.result != 0 || lifetime == 0 || answer.externalPort == 0 ||
        answer.lifetime == 0)
        return false;
    uint32_t external = 0;
    UdpAsk(gateway_, kMapServerPort, NatPmpAddressRequest(), kDeleteWaitsMs, deadline, stop_,
           [&](const uint8_t* data, size_t size) {
               MapAnswer address;
               if (!ParseNatPmpAddressAnswer(data, size, &address)) return false;
               external = address.result == 0 ? address.externalIpv4 : 0;
               return true;
           });
    entry->granted.method = MapMethod::kNatPmp;
    entry->granted.externalPort = answer.externalPort;
    entry->granted.externalIpv4 = external;
    entry->renewAt = Now() + uint64_t(std::max<uint32_t>(answer.lifetime / 2, 30)) * 1000;
    return true;
}

bool PortMapper::DiscoverIgd(uint64_t deadline) {
    if (igdKnown_) return true;
    IgdUrl location;
    const uint64_t searchUntil = std::min(deadline, Now() + kSsdpWaitMs);
    if (!SsdpAsk(local_, searchUntil, stop_, [&](const std::string& text) { return ParseSsdpAnswer(text, &location); }))
        return false;
    std::string raw, body;
    int status = 0;
    if (!TcpAsk(location, DescriptionRequest(location), std::min(deadline, Now() + kHttpWaitMs), stop_, &raw) ||
        !SplitHttpAnswer(raw, &status, &body) || status != 200 || !FindConnectionService(body, location, &igd_))
        return false;
    igdKnown_ = true;
    return true;
}

bool PortMapper::TryUpnp(uint16_t port, Entry* entry, uint64_t deadline) {
    if (!DiscoverIgd(deadline)) return false;
    const auto call = [&](const SoapCall& soap, std::string* body) {
        std::string raw;
        int status = 0;
        if (!TcpAsk(igd_.control, SoapRequest(igd_, soap), std::min(deadline, Now() + kHttpWaitMs), stop_, &raw) ||
            !SplitHttpAnswer(raw, &status, body)) {
            igdKnown_ = false;  // found again next time
            return -1;
        }
        return status == 200 ? 0 : std::max(SoapErrorCode(*body), 1);
    };
    std::string body;
    uint32_t lease = kUpnpLeaseSeconds;
    uint16_t external = entry->granted.externalPort ? entry->granted.externalPort : port;
    int error = call(AddPortMappingCall(igd_.type, external, port, local_, lease, entry->udp), &body);
    if (error == kUpnpOnlyPermanent) {
        lease = 0;
        error = call(AddPortMappingCall(igd_.type, external, port, local_, lease, entry->udp), &body);
    }
    if (error == kUpnpConflict && entry->granted.externalPort == 0) {
        // Another host holds the port there: one other, outside the usual range.
        external = uint16_t(port < 55536 ? port + 10000 : port - 10000);
        error = call(AddPortMappingCall(igd_.type, external, port, local_, lease, entry->udp), &body);
    }
    if (error != 0) return false;
    uint32_t address = 0;
    if (call(ExternalAddressCall(igd_.type), &body) != 0 || !ParseExternalAddress(body, &address)) address = 0;
    entry->granted.method = MapMethod::kUpnp;
    entry->granted.externalPort = external;
    entry->granted.externalIpv4 = address;
    entry->renewAt = Now() + uint64_t(lease ? lease / 2 : kUpnpLeaseSeconds) * 1000;
    return true;
}

void PortMapper::Delete(uint16_t port, const Entry& entry, uint64_t deadline) {
    Entry copy = entry;
    switch (entry.granted.method) {
    case MapMethod::kPcp: TryPcp(port, &copy, 0, deadline); break;
    case MapMethod::kNatPmp: TryNatPmp(port, &copy, 0, deadline); break;
    case MapMethod::kUpnp: {
        std::string raw;
        if (igdKnown_)
            TcpAsk(igd_.control, SoapRequest(igd_, DeletePortMappingCall(igd_.type, entry.granted.externalPort, entry.udp)),
                   std::min(deadline, Now() + kHttpWaitMs), never_, &raw);
        break;
    }
    case MapMethod::kNone: break;
    }
}
