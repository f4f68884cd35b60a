// Owner of one BSTR: freed when the owner goes away, so no failure path can
// leak it.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <utility>

class ScopedBstr {
public:
    ScopedBstr() = default;
    // A copy of `text`, embedded nulls included.
    explicit ScopedBstr(const std::wstring& text)
        : bstr_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    explicit ScopedBstr(const wchar_t* text) : bstr_(::SysAllocString(text)) {}
    ScopedBstr(ScopedBstr&& other) noexcept : bstr_(other.Detach()) {}
    ScopedBstr& operator=(ScopedBstr&& other) noexcept {
        if (this != &other) Attach(other.Detach());
        return *this;
    }
    ScopedBstr(const ScopedBstr&) = delete;
    ScopedBstr& operator=(const ScopedBstr&) = delete;
    ~ScopedBstr() { Reset(); }

    BSTR Get() const { return bstr_; }
    // The text, by its stored length; empty for a null BSTR.
    std::wstring Text() const { return bstr_ ? std::wstring(bstr_, ::SysStringLen(bstr_)) : std::wstring(); }

    // Out-parameter for a call that hands over a BSTR; what was held before is
    // freed first.
    BSTR* Receive() {
        Reset();
        return &bstr_;
    }
    // Takes over a BSTR the caller owns.
    void Attach(BSTR bstr) {
        Reset();
        bstr_ = bstr;
    }
    // Gives the BSTR to the caller.
    BSTR Detach() { return std::exchange(bstr_, nullptr); }
    void Reset() {
        if (BSTR old = std::exchange(bstr_, nullptr)) ::SysFreeString(old);
    }

private:
    BSTR bstr_ = nullptr;
};
