// Owner of one COM interface pointer, and of a thread's COM initialisation.
#pragma once

#include <objbase.h>

#include <utility>

namespace win {

template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        if (this != &other) {
            reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    void reset() noexcept
    {
        if (p_)
            std::exchange(p_, nullptr)->Release();
    }
    // For APIs that hand the interface back through an out-parameter.
    T** put() noexcept
    {
        reset();
        return &p_;
    }
    void** putVoid() noexcept { return reinterpret_cast<void**>(put()); }

    template <typename U>
    ComPtr<U> as(REFIID iid) const noexcept
    {
        ComPtr<U> other;
        if (p_)
            p_->QueryInterface(iid, other.putVoid());
        return other;
    }

private:
    T* p_ = nullptr;
};

// CoInitialize for one scope; uninitialises only when it succeeded.
class ComInit {
public:
    explicit ComInit(DWORD model = COINIT_APARTMENTTHREADED) noexcept
        : hr_(::CoInitializeEx(nullptr, model)) {}
    ComInit(const ComInit&) = delete;
    ComInit& operator=(const ComInit&) = delete;
    ~ComInit()
    {
        if (SUCCEEDED(hr_))
            ::CoUninitialize();
    }

private:
    HRESULT hr_;
};

} // namespace win
