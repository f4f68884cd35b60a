#include "p2sp/utp/UtpRandom.h"

#include <chrono>
#include <random>

namespace {

UtpRandomSource g_source = nullptr;

uint32_t SystemRandom() {
    try {
        std::random_device device;  // one per call: connections are accepted from any thread
        return device();
    } catch (...) {
        // No source of the system: the clock's low bits still differ per connection.
        return uint32_t(std::chrono::steady_clock::now().time_since_epoch().count() * 2654435761u);
    }
}

}  // namespace

uint32_t UtpRandom() { return g_source != nullptr ? g_source() : SystemRandom(); }

void SetUtpRandomSource(UtpRandomSource source) { g_source = source; }
