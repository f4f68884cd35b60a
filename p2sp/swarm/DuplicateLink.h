// Two connections with one peer, as when both ends dial each other at the
// same moment: both ends must keep the same one, or each closes the one the
// other kept and neither is left. Kept is the one dialled by the end with
// the lower peer id, which both ends can tell; two in the same direction
// (a peer that connected again) keep the older. No platform code.
#pragma once

#include <cstdint>
#include <cstring>

// Whether the newer connection (its handshake completing now) replaces the
// older, active one; `outgoing` is true for the one we dialled.
inline bool KeepNewerLink(bool newerOutgoing, bool olderOutgoing, const uint8_t ourId[20],
                          const uint8_t theirId[20]) {
    if (newerOutgoing == olderOutgoing) return false;
    const bool ourDialKept = std::memcmp(ourId, theirId, 20) < 0;
    return newerOutgoing == ourDialKept;
}
