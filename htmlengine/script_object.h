// Base of the objects that page scripts see (window, location, document,
// elements, style): members are found by name, built-in ones are answered
// by the subclass, and anything else a script assigns is kept as an
// expando of the object.
#pragma once

#include "com.h"

#include <dispex.h>

#include <map>
#include <optional>

namespace htmlengine {

// Positional arguments of a call in parameter order (first parameter
// first), by-reference values resolved.
using Args = std::vector<const VARIANT*>;

Args PositionalArgs(const DISPPARAMS* params);
std::wstring ArgText(const Args& args, size_t index);
IDispatch* ArgObject(const Args& args, size_t index);
long ArgInt(const Args& args, size_t index, long fallback);

// Calls a script function object with the positional parameters of
// `params`; `self` (when given) is the function's `this`.
HRESULT CallFunction(IDispatch* function, const DISPPARAMS* params, VARIANT* result, IDispatch* self = nullptr);
HRESULT CallFunction(IDispatch* function, VARIANT* result, IDispatch* self = nullptr);

class ScriptObject : public IDispatchEx {
public:
    ScriptObject(const ScriptObject&) = delete;
    ScriptObject& operator=(const ScriptObject&) = delete;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

    // IDispatchEx
    STDMETHODIMP GetDispID(BSTR name, DWORD flags, DISPID* id) override;
    STDMETHODIMP InvokeEx(DISPID id, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* exception, IServiceProvider* caller) override;
    STDMETHODIMP DeleteMemberByName(BSTR name, DWORD flags) override;
    STDMETHODIMP DeleteMemberByDispID(DISPID id) override;
    STDMETHODIMP GetMemberProperties(DISPID id, DWORD fetch, DWORD* properties) override;
    STDMETHODIMP GetMemberName(DISPID id, BSTR* name) override;
    STDMETHODIMP GetNextDispID(DWORD flags, DISPID id, DISPID* next) override;
    STDMETHODIMP GetNameSpaceParent(IUnknown** parent) override;

    IDispatch* dispatch() { return static_cast<IDispatchEx*>(this); }

protected:
    ScriptObject() = default;
    virtual ~ScriptObject() = default;

    // Built-in members. Each answers DISP_E_MEMBERNOTFOUND for a name that
    // is not one of its built-in members.
    virtual bool isMember(std::wstring_view name) const;
    virtual HRESULT getMember(std::wstring_view name, VARIANT* result);
    virtual HRESULT putMember(std::wstring_view name, const VARIANT& value);
    virtual HRESULT callMember(std::wstring_view name, const Args& args, VARIANT* result);
    // The value of the object itself (DISPID_VALUE).
    virtual HRESULT defaultValue(VARIANT* result);
    // Whether a plain lookup of an unknown name makes a slot for it (reading
    // an unset slot gives undefined). Without it, only script assignments
    // create slots and unknown names answer DISP_E_UNKNOWNNAME.
    virtual bool createsOnLookup() const { return true; }
    // Members found elsewhere than in the object (the page's own script
    // globals for the window): ids from kOutsideIds on.
    static constexpr DISPID kOutsideIds = 0x40000000;
    virtual HRESULT findOutside(std::wstring_view name, DISPID* id);
    virtual HRESULT invokeOutside(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                                  EXCEPINFO* exception);

    // The expando of that name, when the script set one.
    const VARIANT* expando(std::wstring_view name) const;
    void setExpando(std::wstring_view name, const VARIANT& value);
    // Drops every expando: breaks the reference cycles that script
    // functions stored in the object form with it.
    void clearExpandos();

private:
    HRESULT lookup(std::wstring_view name, bool create, DISPID* id);
    HRESULT invokeSlot(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception);
    HRESULT getSlot(DISPID id, VARIANT* result);

    LONG refs_ = 1;
    std::vector<std::wstring> names_;  // DISPID = index + 1
    std::map<DISPID, Variant> values_;
};

// Creates a script object of type T (one reference, owned by the result).
template <class T, class... A>
ComRef<T> MakeObject(A&&... args)
{
    return ComRef<T>::adopt(new T(std::forward<A>(args)...));
}

}  // namespace htmlengine
