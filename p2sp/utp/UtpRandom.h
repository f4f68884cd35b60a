// Where a connection's random numbers come from (the acceptor's first
// sequence number): the system's source unless a test puts a fixed one in.
#pragma once

#include <cstdint>

using UtpRandomSource = uint32_t (*)();

uint32_t UtpRandom();
// nullptr puts the system's source back.
void SetUtpRandomSource(UtpRandomSource source);
