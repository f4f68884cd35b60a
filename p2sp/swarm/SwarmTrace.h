// A trace of what a swarm does (peers dialled, closed and why, pieces
// checked), for diagnosing interop: written only when the environment
// variable P2SP_SWARM_TRACE names a file, one line per event.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

inline void SwarmTrace(const char* format, ...) {
    static std::mutex lock;
    static FILE* file = [] {
        const char* path = std::getenv("P2SP_SWARM_TRACE");
        return path && *path ? std::fopen(path, "a") : nullptr;
    }();
    if (!file) return;
    std::lock_guard<std::mutex> hold(lock);
    va_list args;
    va_start(args, format);
    std::vfprintf(file, format, args);
    va_end(args);
    std::fputc('\n', file);
    std::fflush(file);
}
