// One owner shape for every kind of platform handle: the handle is released
// exactly once, when the owner goes away or is reset, so no failure path can
// leak it. A kind is a small traits struct:
//   using Handle = ...;                     // the handle type, null when empty
//   static Handle Normalise(Handle h);      // maps a failure value to null
//   static void Release(Handle h);          // releases a non-null handle
#pragma once

#include <utility>

template <typename Traits>
class ScopedResource {
public:
    using Handle = typename Traits::Handle;

    ScopedResource() = default;
    explicit ScopedResource(Handle h) : handle_(Traits::Normalise(h)) {}
    ScopedResource(ScopedResource&& other) noexcept : handle_(other.release()) {}
    ScopedResource& operator=(ScopedResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ScopedResource(const ScopedResource&) = delete;
    ScopedResource& operator=(const ScopedResource&) = delete;
    ~ScopedResource() { reset(); }

    Handle get() const { return handle_; }
    bool valid() const { return handle_ != nullptr; }
    explicit operator bool() const { return valid(); }

    // Out-parameter for a call that hands over a handle; a handle held before
    // is released first.
    Handle* receive() {
        reset();
        return &handle_;
    }
    Handle release() { return std::exchange(handle_, nullptr); }
    void reset(Handle h = nullptr) {
        if (Handle old = std::exchange(handle_, Traits::Normalise(h))) Traits::Release(old);
    }

private:
    Handle handle_ = nullptr;
};
