#pragma once

// A reference-counted COM pointer: releases on destruction and on reset.

#include <objbase.h>
#include <unknwn.h>

#include <utility>

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a reference the caller already owns.
    static ComPtr Attach(T* p)
    {
        ComPtr result;
        result.p_ = p;
        return result;
    }
    // Adds a reference of its own.
    static ComPtr Share(T* p)
    {
        if (p)
            p->AddRef();
        return Attach(p);
    }
    ComPtr(const ComPtr& other) : p_(other.p_)
    {
        if (p_)
            p_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() { reset(); }

    void reset()
    {
        if (p_)
            std::exchange(p_, nullptr)->Release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** out()
    {
        reset();
        return &p_;
    }
    void** out_void() { return reinterpret_cast<void**>(out()); }
    T* detach() { return std::exchange(p_, nullptr); }

    template <typename U>
    ComPtr<U> As(REFIID iid) const
    {
        ComPtr<U> result;
        if (p_)
            p_->QueryInterface(iid, result.out_void());
        return result;
    }

private:
    T* p_ = nullptr;
};

// A COM apartment for the length of a block.
class ComApartment {
public:
    ComApartment() : hr_(CoInitialize(nullptr)) {}
    ~ComApartment()
    {
        if (SUCCEEDED(hr_))
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT hr_;
};
