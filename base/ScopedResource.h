// One owner shape for every kind of platform handle: the handle is released
// exactly once, when the owner goes away or is reset, so no failure path can
// leak it. A kind is a small traits struct:
//   using Handle = ...;                     // the handle type, null when empty
//   static Handle Normalise(Handle h);      // maps a failure value to null
//   static void Release(Handle h);          // releases a non-null handle
// A kind whose handles are not pointers names its empty value instead of
// null: static Handle Empty(); (sockets: INVALID_SOCKET).
#pragma once

#include <type_traits>
#include <utility>

template <typename Traits, typename = void>
struct ScopedResourceHasEmpty : std::false_type {};
template <typename Traits>
struct ScopedResourceHasEmpty<Traits, std::void_t<decltype(Traits::Empty())>> : std::true_type {};

template <typename Traits>
constexpr typename Traits::Handle ScopedResourceEmpty() {
    if constexpr (ScopedResourceHasEmpty<Traits>::value) {
        return Traits::Empty();
    } else {
        return nullptr;
    }
}

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
    bool valid() const { return handle_ != kEmpty; }
    explicit operator bool() const { return valid(); }

    // Out-parameter for a call that hands over a handle; a handle held before
    // is released first.
    Handle* receive() {
        reset();
        return &handle_;
    }
    Handle release() { return std::exchange(handle_, kEmpty); }
    void reset(Handle h = kEmpty) {
        const Handle old = std::exchange(handle_, h == kEmpty ? kEmpty : Traits::Normalise(h));
        if (old != kEmpty) Traits::Release(old);
    }

private:
    static constexpr Handle kEmpty = ScopedResourceEmpty<Traits>();
    Handle handle_ = kEmpty;
};
