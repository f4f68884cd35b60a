// One place a task fetches from: the task's own URL or a mirror from its
// seed. Its connections count what they bring here; QueryTask reads it.
#pragma once

#include "p2sp/SpeedMeter.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

struct SourceStats {
    SourceStats(int index, std::wstring url) : index(index), url(std::move(url)) {}

    const int index;  // 0 is the task's URL
    const std::wstring url;

    std::atomic<uint64_t> bytes{0};      // body bytes used (written to the file)
    std::atomic<int> connections{0};     // open now
    std::atomic<int> maxConnections{0};  // most open at once
    std::atomic<int> badPieces{0};
    std::atomic<int> goodPieces{0};
    std::atomic<int> failedConnections{0};  // connections that ended failing
    std::atomic<bool> dropped{false};    // no longer asked for anything

    void Add(uint64_t n, uint64_t nowMs) {
        bytes += n;
        std::lock_guard<std::mutex> hold(lock_);
        speed_.Add(n, nowMs);
    }
    uint32_t Rate(uint64_t nowMs) {
        std::lock_guard<std::mutex> hold(lock_);
        return speed_.Rate(nowMs);
    }
    void Opened() {
        int now = ++connections;
        int seen = maxConnections.load();
        while (now > seen && !maxConnections.compare_exchange_weak(seen, now)) {
        }
    }
    void Closed() { --connections; }

private:
    std::mutex lock_;
    SpeedMeter speed_;
};
