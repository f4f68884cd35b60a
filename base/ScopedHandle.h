// Owners for kernel handles: each closes its handle when it goes away, so no
// failure path can leak one.
#pragma once

#include <windows.h>

#include <utility>

class ScopedHandle {
public:
    ScopedHandle() = default;
    explicit ScopedHandle(HANDLE h) : handle_(Normalise(h)) {}
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ~ScopedHandle() { reset(); }

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != nullptr; }
    explicit operator bool() const { return valid(); }

    HANDLE release() { return std::exchange(handle_, nullptr); }
    void reset(HANDLE h = nullptr) {
        if (handle_) ::CloseHandle(handle_);
        handle_ = Normalise(h);
    }

private:
    // CreateFile reports failure as INVALID_HANDLE_VALUE, most others as NULL.
    static HANDLE Normalise(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : h; }

    HANDLE handle_ = nullptr;
};
