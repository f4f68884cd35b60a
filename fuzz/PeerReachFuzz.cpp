// Any bytes as what peers and the home router send about reaching peers:
// the extension handshake, a peer exchange message, an introduction, a PCP
// or NAT-PMP answer, and a UPnP router's answers (SSDP, description, HTTP). The first
// byte picks which. Nothing is read out of bounds, no more peers are taken
// than allowed, and nothing points away from the router that described it.
#include "fuzz/FuzzCheck.h"
#include "p2sp/portmap/MapPackets.h"
#include "p2sp/portmap/UpnpIgd.h"
#include "p2sp/swarm/HolePunch.h"
#include "p2sp/swarm/PeerExchange.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t* body = data + 1;
    const size_t n = size - 1;
    const std::string text(reinterpret_cast<const char*>(body), n);
    switch (data[0] % 4) {
    case 0: {
        ExtendedHandshake h;
        ParseExtendedHandshake(body, n, &h);
        std::vector<PeerAddress> added;
        std::vector<uint8_t> flags;
        if (ParsePex(body, n, &added, &flags)) {
            FUZZ_CHECK(added.size() <= kMaxPexPeers, "more peers than allowed");
            FUZZ_CHECK(flags.size() == added.size(), "flags that are not one a peer");
        }
        HolePunchMessage punch;
        if (ParseHolePunch(body, n, &punch)) FUZZ_CHECK(n == 12 || n == 24, "an introduction of another length");
        break;
    }
    case 1: {
        static const uint8_t nonce[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
        MapAnswer a;
        if (ParsePcpMapAnswer(body, n, nonce, 6881, &a) && a.result == 0)
            FUZZ_CHECK(n >= 60, "a mapping from a short answer");
        if (ParseNatPmpMapAnswer(body, n, 6881, &a) && a.result == 0) FUZZ_CHECK(n >= 16, "a short NAT-PMP answer");
        ParseNatPmpAddressAnswer(body, n, &a);
        IsUnsupportedVersionAnswer(body, n);
        break;
    }
    case 2: {
        IgdUrl location;
        if (ParseSsdpAnswer(text, &location)) FUZZ_CHECK(location.port != 0, "port 0");
        IgdUrl router;
        router.ipv4 = 0xC6130101u;
        router.port = 5000;
        IgdService service;
        if (FindConnectionService(text, router, &service))
            FUZZ_CHECK(service.control.ipv4 == router.ipv4, "a control point on another host");
        break;
    }
    default: {
        int status = 0;
        std::string out;
        if (SplitHttpAnswer(text, &status, &out)) FUZZ_CHECK(out.size() <= text.size(), "a body longer than the answer");
        SoapErrorCode(text);
        uint32_t ipv4 = 0;
        ParseExternalAddress(text, &ipv4);
        break;
    }
    }
    return 0;
}
