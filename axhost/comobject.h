#pragma once

// Reference-counted COM objects of the UI thread's single-threaded
// apartment. A class derives from ComObjectRoot and from the interfaces it
// implements, and says in InterfaceFor which interface answers which id;
// ComObject<Class> adds IUnknown on top and is the only way to create one:
//
//     ComObject<CMySink>* sink = nullptr;
//     if (SUCCEEDED(ComObject<CMySink>::CreateInstance(&sink))) ...
//
// A new object starts with a count of 0: the first reference taken
// (QueryInterface, AddRef, ComPtr::Share) keeps it, the last release
// deletes it.

#include <unknwn.h>

#include <new>
#include <utility>

class ComObjectRoot {
public:
    ComObjectRoot() = default;
    ComObjectRoot(const ComObjectRoot&) = delete;
    ComObjectRoot& operator=(const ComObjectRoot&) = delete;
    virtual ~ComObjectRoot() = default;

    // The interface pointer for iid, without a reference; null when the
    // object does not implement it. Subclasses extend their base's answer.
    virtual IUnknown* InterfaceFor(REFIID iid) = 0;

protected:
    // One thread only: no interlocking.
    ULONG InternalAddRef() { return ++refCount_; }
    ULONG InternalRelease() { return --refCount_; }

private:
    ULONG refCount_ = 0;
};

template <class Base>
class ComObject final : public Base {
public:
    template <class... Args>
    explicit ComObject(Args&&... args) : Base(std::forward<Args>(args)...)
    {
    }

    // Allocates without throwing; E_OUTOFMEMORY leaves *object null.
    template <class... Args>
    static HRESULT CreateInstance(ComObject** object, Args&&... args)
    {
        if (!object)
            return E_POINTER;
        *object = new (std::nothrow) ComObject(std::forward<Args>(args)...);
        return *object ? S_OK : E_OUTOFMEMORY;
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        IUnknown* found = this->InterfaceFor(iid);
        if (!found)
            return E_NOINTERFACE;
        found->AddRef();
        *out = found;
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return this->InternalAddRef(); }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG count = this->InternalRelease();
        if (count == 0) {
            // Kept at 1 while dying, so a destructor that hands the object
            // around and releases it again does not delete it twice.
            this->InternalAddRef();
            delete this;
        }
        return count;
    }
};
