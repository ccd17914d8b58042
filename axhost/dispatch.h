#pragma once

// IDispatch implementations for the program's COM objects.
// - DispatchFromTypeLib<I, iid>: an interface described in the type library
//   embedded in the executable (resource TYPELIB 1); scripts reach its
//   methods by name and the library converts their arguments.
// - NoTypeInfoDispatch<I>: the IDispatch part of an interface that the
//   host only ever calls through its table of functions.

#include <windows.h>
#include <oaidl.h>
#include <oleauto.h>

// The type information of interface iid in the executable's own type
// library, loaded once per process; null when the library or the interface
// is missing. The pointer stays valid for the life of the process.
ITypeInfo* GetOwnTypeInfo(REFIID iid);

template <class Interface, const IID* Iid>
class DispatchFromTypeLib : public Interface {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = GetOwnTypeInfo(*Iid) ? 1 : 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override
    {
        if (!info)
            return E_POINTER;
        *info = nullptr;
        if (index != 0)
            return DISP_E_BADINDEX;
        ITypeInfo* own = GetOwnTypeInfo(*Iid);
        if (!own)
            return TYPE_E_ELEMENTNOTFOUND;
        own->AddRef();
        *info = own;
        return S_OK;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        ITypeInfo* own = GetOwnTypeInfo(*Iid);
        if (!own)
            return E_UNEXPECTED;
        return DispGetIDsOfNames(own, names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override
    {
        ITypeInfo* own = GetOwnTypeInfo(*Iid);
        if (!own)
            return E_UNEXPECTED;
        return DispInvoke(static_cast<Interface*>(this), own, id, flags, params, result, exception, argError);
    }
};

template <class Interface>
class NoTypeInfoDispatch : public Interface {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        if (info)
            *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
};
