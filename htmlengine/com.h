// Small RAII holders for COM references, automation values and strings,
// used throughout the stand-in HTML engine.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace htmlengine {

// VariantCopy for a source that is not changed (the API takes no const).
inline HRESULT CopyValue(VARIANT* to, const VARIANT& from)
{
    return VariantCopy(to, const_cast<VARIANT*>(&from));
}

// VariantChangeType for a source that is not changed.
inline HRESULT ChangeType(VARIANT* to, const VARIANT* from, USHORT flags, VARTYPE type)
{
    return VariantChangeType(to, const_cast<VARIANT*>(from), flags, type);
}

// Owns one counted reference.
template <class T>
class ComRef {
public:
    ComRef() = default;
    // Takes a new reference on `p`.
    explicit ComRef(T* p) : p_(p) { if (p_) p_->AddRef(); }
    ComRef(const ComRef& o) : p_(o.p_) { if (p_) p_->AddRef(); }
    ComRef(ComRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComRef& operator=(ComRef o) noexcept { std::swap(p_, o.p_); return *this; }
    ~ComRef() { reset(); }

    // Takes over a reference the caller already owns.
    static ComRef adopt(T* p) { ComRef r; r.p_ = p; return r; }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** put() { reset(); return &p_; }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    void reset() { if (p_) std::exchange(p_, nullptr)->Release(); }
    T* detach() { return std::exchange(p_, nullptr); }

    template <class U>
    ComRef<U> query() const
    {
        ComRef<U> r;
        if (p_) p_->QueryInterface(__uuidof(U), r.putVoid());
        return r;
    }

private:
    T* p_ = nullptr;
};

// Hands out a new reference through an out-parameter.
template <class T, class U>
HRESULT HandOut(T* object, U** out)
{
    if (!out) return E_POINTER;
    *out = object;
    if (object) object->AddRef();
    return object ? S_OK : E_FAIL;
}

// An automation value that clears itself.
class Variant {
public:
    Variant() { VariantInit(&v_); }
    explicit Variant(const VARIANT& v) { VariantInit(&v_); CopyValue(&v_, v); }
    Variant(const Variant& o) : Variant(o.v_) {}
    Variant& operator=(const Variant& o)
    {
        if (this != &o) CopyValue(&v_, o.v_);
        return *this;
    }
    ~Variant() { VariantClear(&v_); }

    VARIANT* operator&() { return &v_; }
    const VARIANT& get() const { return v_; }
    VARIANT& get() { return v_; }
    VARTYPE type() const { return V_VT(&v_); }
    void clear() { VariantClear(&v_); }
    // Moves the value out into `out` (which must be initialised).
    void detachTo(VARIANT* out)
    {
        *out = v_;
        VariantInit(&v_);
    }

private:
    VARIANT v_;
};

// An automation string that frees itself.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::wstring_view s)
        : s_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(s_); }

    BSTR get() const { return s_; }
    BSTR* put() { SysFreeString(s_); s_ = nullptr; return &s_; }
    BSTR detach() { return std::exchange(s_, nullptr); }
    std::wstring str() const { return s_ ? std::wstring(s_, SysStringLen(s_)) : std::wstring(); }

private:
    BSTR s_ = nullptr;
};

// Memory given out by CoTaskMemAlloc, freed on scope exit.
class TaskMemText {
public:
    TaskMemText() = default;
    TaskMemText(const TaskMemText&) = delete;
    TaskMemText& operator=(const TaskMemText&) = delete;
    ~TaskMemText() { CoTaskMemFree(p_); }
    LPOLESTR* put() { CoTaskMemFree(p_); p_ = nullptr; return &p_; }
    std::wstring str() const { return p_ ? std::wstring(p_) : std::wstring(); }

private:
    LPOLESTR p_ = nullptr;
};

// A window handle destroyed with its owner.
class WindowHandle {
public:
    WindowHandle() = default;
    WindowHandle(const WindowHandle&) = delete;
    WindowHandle& operator=(const WindowHandle&) = delete;
    ~WindowHandle() { reset(); }
    HWND get() const { return h_; }
    void reset(HWND h = nullptr)
    {
        if (h_ && IsWindow(h_)) DestroyWindow(h_);
        h_ = h;
    }

private:
    HWND h_ = nullptr;
};

// Returns a BSTR copy of `s` (null only when out of memory).
inline BSTR AllocText(std::wstring_view s)
{
    return SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
}

// Fills `out` with a text value.
inline HRESULT SetTextResult(VARIANT* out, std::wstring_view s)
{
    if (!out) return S_OK;
    VariantInit(out);
    V_VT(out) = VT_BSTR;
    V_BSTR(out) = AllocText(s);
    return V_BSTR(out) ? S_OK : E_OUTOFMEMORY;
}

// Fills `out` with an object value (null gives an automation null).
inline HRESULT SetObjectResult(VARIANT* out, IDispatch* object)
{
    if (!out) return S_OK;
    VariantInit(out);
    if (!object) {
        V_VT(out) = VT_NULL;
        return S_OK;
    }
    V_VT(out) = VT_DISPATCH;
    V_DISPATCH(out) = object;
    object->AddRef();
    return S_OK;
}

// The text of an automation value as script would show it; empty for
// values that have no text form.
std::wstring VariantText(const VARIANT& v);

// UTF-8 to UTF-16 and back.
std::wstring Widen(std::string_view s);
std::string Narrow(std::wstring_view s);

}  // namespace htmlengine
