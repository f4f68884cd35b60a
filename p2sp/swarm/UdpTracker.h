// One announce to a UDP tracker over Winsock: a connect exchange for a
// connection id, then the announce. A request that gets no answer in time is
// sent again with the wait doubled, a few times at most; the caller's stop
// flag ends any wait at once. A connection id is used for one minute.
#pragma once

#include "p2sp/swarm/TrackerAnnounce.h"

#include <windows.h>

#include <atomic>
#include <string>

struct UdpTrackerTiming {
    DWORD firstWaitMs = 15000;  // doubled at each try
    int tries = 2;              // per request
};

// True with the tracker's answer (its failure text set when it refused).
// False when it gave no usable answer: unreachable, silent, or the URL is
// not a UDP tracker's.
bool UdpAnnounce(const std::string& url, const AnnounceParams& params, const std::atomic<bool>& stop,
                 AnnounceReply* reply, const UdpTrackerTiming& timing = UdpTrackerTiming());
