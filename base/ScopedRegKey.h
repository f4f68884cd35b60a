// Owner of one open registry key: closed when the owner goes away, so no
// failure path can leak it. The predefined roots (HKEY_LOCAL_MACHINE ...) are
// never handed to it.
#pragma once

#include <windows.h>

#include <utility>

class ScopedRegKey {
public:
    ScopedRegKey() = default;
    explicit ScopedRegKey(HKEY key) : key_(key) {}
    ScopedRegKey(ScopedRegKey&& other) noexcept : key_(other.release()) {}
    ScopedRegKey& operator=(ScopedRegKey&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ScopedRegKey(const ScopedRegKey&) = delete;
    ScopedRegKey& operator=(const ScopedRegKey&) = delete;
    ~ScopedRegKey() { reset(); }

    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }

    // Out-parameter for RegOpenKeyEx / RegCreateKeyEx; a key held before is
    // closed first.
    HKEY* receive() {
        reset();
        return &key_;
    }
    HKEY release() { return std::exchange(key_, nullptr); }
    void reset(HKEY key = nullptr) {
        if (HKEY old = std::exchange(key_, key)) ::RegCloseKey(old);
    }

private:
    HKEY key_ = nullptr;
};
