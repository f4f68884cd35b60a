#include "p2sp/swarm/PeerAddress.h"

#include <cstdio>

std::string PeerAddressTrace(const PeerAddress& a) {
    char text[64];
    if (a.ip.IsV4()) std::snprintf(text, sizeof(text), "%08x:%u", a.ip.V4Value(), unsigned(a.port));
    else std::snprintf(text, sizeof(text), "[%s]:%u", IpAddressText(a.ip).c_str(), unsigned(a.port));
    return text;
}
