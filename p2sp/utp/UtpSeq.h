// Sequence and ack numbers run on 16 bits and wrap; timestamps on 32 bits.
// Every comparison of them goes through these, so the wrap is handled once.
#pragma once

#include <cstdint>

// True when sequence number `a` comes before `b` (less than half the space apart).
inline bool SeqBefore(uint16_t a, uint16_t b) { return int16_t(uint16_t(a - b)) < 0; }
// How far `to` is past `from`, as an unsigned step on the 16-bit circle.
inline uint16_t SeqDistance(uint16_t from, uint16_t to) { return uint16_t(to - from); }
// True when 32-bit time stamp `a` is before `b` (less than half the space apart).
inline bool StampBefore(uint32_t a, uint32_t b) { return int32_t(a - b) < 0; }
