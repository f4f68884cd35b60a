// The packets of the two UDP port-mapping protocols a home router may speak
// on port 5351: PCP (RFC 6887, version 2; the MAP opcode) and its
// predecessor NAT-PMP (RFC 6886, version 0). Building and checking only; no
// platform code. Every answer is checked against the request it answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr uint16_t kMapServerPort = 5351;
constexpr size_t kMapAnswerMax = 1100;  // PCP's largest message

struct MapAnswer {
    uint16_t result = 0;        // 0: granted
    uint16_t externalPort = 0;
    uint32_t lifetime = 0;      // seconds
    uint32_t externalIpv4 = 0;  // host order; 0 when the answer names none
};

// NAT-PMP: the router's public address (opcode 0), a TCP mapping (opcode 2)
// or with `udp` a UDP one (opcode 1); lifetime 0 deletes the mapping of
// `internalPort`.
std::vector<uint8_t> NatPmpAddressRequest();
bool ParseNatPmpAddressAnswer(const uint8_t* data, size_t size, MapAnswer* answer);
std::vector<uint8_t> NatPmpMapRequest(uint16_t internalPort, uint16_t wantedExternalPort, uint32_t lifetime,
                                      bool udp = false);
bool ParseNatPmpMapAnswer(const uint8_t* data, size_t size, uint16_t internalPort, MapAnswer* answer,
                          bool udp = false);

// PCP MAP for TCP (with `udp`, UDP) from `clientIpv4` (host order, the
// address the router sees us at); lifetime 0 deletes. The answer must carry
// the request's nonce and protocol.
std::vector<uint8_t> PcpMapRequest(const uint8_t nonce[12], uint32_t clientIpv4, uint16_t internalPort,
                                   uint16_t wantedExternalPort, uint32_t lifetime, bool udp = false);
bool ParsePcpMapAnswer(const uint8_t* data, size_t size, const uint8_t nonce[12], uint16_t internalPort,
                       MapAnswer* answer, bool udp = false);
// A version 0 or 2 answer saying the router does not speak that version
// (result 1), so the other protocol is worth a try at once.
bool IsUnsupportedVersionAnswer(const uint8_t* data, size_t size);
