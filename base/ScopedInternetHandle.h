// Owner of one WinINet handle (a session, a connection or a request): closed
// once when the owner goes away or is reset, so no failure path can leak it.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <utility>

class ScopedInternetHandle {
public:
    ScopedInternetHandle() = default;
    explicit ScopedInternetHandle(HINTERNET h) : handle_(h) {}
    ScopedInternetHandle(ScopedInternetHandle&& other) noexcept : handle_(other.release()) {}
    ScopedInternetHandle& operator=(ScopedInternetHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ScopedInternetHandle(const ScopedInternetHandle&) = delete;
    ScopedInternetHandle& operator=(const ScopedInternetHandle&) = delete;
    ~ScopedInternetHandle() { reset(); }

    HINTERNET get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

    HINTERNET release() { return std::exchange(handle_, nullptr); }
    void reset(HINTERNET h = nullptr) {
        if (HINTERNET old = std::exchange(handle_, h)) ::InternetCloseHandle(old);
    }

private:
    HINTERNET handle_ = nullptr;
};
