// Owner of one COM interface reference: released when the owner goes away,
// so no failure path can leak it.
#pragma once

#include <unknwn.h>

#include <utility>

template <typename T>
class ScopedComPtr {
public:
    ScopedComPtr() = default;
    // Takes a reference of its own on ptr.
    explicit ScopedComPtr(T* ptr) : ptr_(ptr) {
        if (ptr_) ptr_->AddRef();
    }
    ScopedComPtr(ScopedComPtr&& other) noexcept : ptr_(other.Detach()) {}
    ScopedComPtr& operator=(ScopedComPtr&& other) noexcept {
        if (this != &other) Attach(other.Detach());
        return *this;
    }
    ScopedComPtr(const ScopedComPtr&) = delete;
    ScopedComPtr& operator=(const ScopedComPtr&) = delete;
    ~ScopedComPtr() { Reset(); }

    T* Get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }

    // Out-parameter for a call that hands over a reference; what was held
    // before is released first.
    T** Receive() {
        Reset();
        return &ptr_;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

    // Takes over a reference the caller owns.
    void Attach(T* ptr) {
        Reset();
        ptr_ = ptr;
    }
    // Gives the reference to the caller.
    T* Detach() { return std::exchange(ptr_, nullptr); }
    void Reset() {
        if (T* old = std::exchange(ptr_, nullptr)) old->Release();
    }

    // QueryInterface into another owner; false when the interface is missing.
    template <typename U>
    bool QueryInto(REFIID iid, ScopedComPtr<U>& out) const {
        return ptr_ && SUCCEEDED(ptr_->QueryInterface(iid, out.ReceiveVoid())) && out;
    }

private:
    T* ptr_ = nullptr;
};
