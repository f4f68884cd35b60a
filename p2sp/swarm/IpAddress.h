// A peer's IP address, either family, as one 16-byte value: IPv6 as it is,
// IPv4 in its mapped form (::ffff:a.b.c.d), so an IPv4 peer named in an IPv6
// list is the same peer as in an IPv4 list. What bans and per-host limits
// count is Host(): an IPv4 address, or the /64 an IPv6 address lies in (a
// home line is handed a whole /64, so its addresses are one host's). No
// platform code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

struct IpAddress {
    uint8_t bytes[16] = {};  // network order

    static IpAddress V4(uint32_t hostOrder);
    static IpAddress V6(const uint8_t* sixteen);
    bool IsV4() const;
    uint32_t V4Value() const;  // host order (127.0.0.1 is 0x7f000001); 0 for IPv6
    IpAddress Host() const;

    bool operator==(const IpAddress& o) const { return std::memcmp(bytes, o.bytes, 16) == 0; }
    bool operator!=(const IpAddress& o) const { return !(*this == o); }
    bool operator<(const IpAddress& o) const { return std::memcmp(bytes, o.bytes, 16) < 0; }
};

// "a.b.c.d" (each 0..255, no leading signs or spaces) or an IPv6 address in
// its text forms (hex groups, one "::", a dotted IPv4 tail); no zone, no
// brackets, no host names.
bool ParseIpAddress(const std::string& text, IpAddress* out);
// Dotted for IPv4, the shortest IPv6 form otherwise ("2001:db8::1").
std::string IpAddressText(const IpAddress& a);
