// What a build of the program trusts about its portal, chosen when the
// program is built and carried in its resources ("PORTALTRUST", RCDATA):
// the scheme of the portal's own requests (configuration, skin, statistics)
// and the public keys that sign the configuration, and where a build made
// for one portal finds it when that is not the default host. A build that carries no
// keys takes its configuration as fetched; one that carries keys takes only
// a configuration one of them has signed. More than one key lets a portal
// roll its keys. Platform-free but for reading the resource.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// An ECDSA P-256 public key: the point's X then Y, big-endian, 32 bytes each.
using ConfigKey = std::array<uint8_t, 64>;

struct PortalTrust {
    bool https = false;
    std::string host;  // "name[:port]" of the configuration's host; empty: the default
    std::vector<ConfigKey> keys;
};

// Lines "scheme=http" or "scheme=https", "host=" and a host name (letters,
// digits, '.', '-') with an optional port, and "key=" followed by the
// uncompressed point in hexadecimal ("04", X, Y: 130 digits); blank lines
// are skipped. False, and `out` untouched, on anything else.
bool ParsePortalTrust(const std::string& text, PortalTrust* out);

// The program's own trust, from its resource; the defaults (http, no keys)
// when it carries none. A resource that does not parse trusts no
// configuration at all (`broken`), rather than none of the checks.
struct BuiltInTrust {
    PortalTrust trust;
    bool broken = false;
};
BuiltInTrust ReadBuiltInTrust();
