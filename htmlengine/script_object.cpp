#include "script_object.h"

namespace htmlengine {

Args PositionalArgs(const DISPPARAMS* params)
{
    Args args;
    if (!params) return args;
    // Named arguments come first in the array, positional ones after them
    // in reverse order.
    for (UINT i = params->cArgs; i-- > params->cNamedArgs;) {
        const VARIANT* v = &params->rgvarg[i];
        if (V_VT(v) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(v)) v = V_VARIANTREF(v);
        args.push_back(v);
    }
    return args;
}

std::wstring ArgText(const Args& args, size_t index)
{
    if (index >= args.size()) return {};
    return VariantText(*args[index]);
}

IDispatch* ArgObject(const Args& args, size_t index)
{
    if (index >= args.size() || V_VT(args[index]) != VT_DISPATCH) return nullptr;
    return V_DISPATCH(args[index]);
}

long ArgInt(const Args& args, size_t index, long fallback)
{
    if (index >= args.size()) return fallback;
    Variant number;
    if (FAILED(ChangeType(&number, args[index], 0, VT_I4))) return fallback;
    return V_I4(&number.get());
}

HRESULT CallFunction(IDispatch* function, const DISPPARAMS* params, VARIANT* result, IDispatch* self)
{
    if (!function) return E_POINTER;
    // Named arguments first, then the positional ones as given.
    std::vector<VARIANT> args;
    DISPID thisId = DISPID_THIS;
    ComRef<IDispatchEx> functionEx;
    if (self) function->QueryInterface(__uuidof(IDispatchEx), functionEx.putVoid());
    if (functionEx) {
        VARIANT v;
        V_VT(&v) = VT_DISPATCH;
        V_DISPATCH(&v) = self;
        args.push_back(v);
    }
    if (params) {
        for (UINT i = params->cNamedArgs; i < params->cArgs; ++i) args.push_back(params->rgvarg[i]);
    }
    DISPPARAMS call{args.empty() ? nullptr : args.data(), functionEx ? &thisId : nullptr,
                    static_cast<UINT>(args.size()), functionEx ? 1u : 0u};
    EXCEPINFO exception{};
    UINT argError = 0;
    const HRESULT hr = functionEx
        ? functionEx->InvokeEx(DISPID_VALUE, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, &call, result, &exception, nullptr)
        : function->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &call, result, &exception, &argError);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return hr;
}

HRESULT CallFunction(IDispatch* function, VARIANT* result, IDispatch* self)
{
    return CallFunction(function, nullptr, result, self);
}

STDMETHODIMP ScriptObject::QueryInterface(REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(IDispatchEx)) {
        *out = static_cast<IDispatchEx*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ScriptObject::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

STDMETHODIMP_(ULONG) ScriptObject::Release()
{
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

STDMETHODIMP ScriptObject::GetTypeInfoCount(UINT* count)
{
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP ScriptObject::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ScriptObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    if (!names || !ids || count == 0) return E_INVALIDARG;
    HRESULT hr = lookup(names[0] ? names[0] : L"", createsOnLookup(), &ids[0]);
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

STDMETHODIMP ScriptObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                  VARIANT* result, EXCEPINFO* exception, UINT*)
{
    return invokeSlot(id, flags, params, result, exception);
}

STDMETHODIMP ScriptObject::GetDispID(BSTR name, DWORD flags, DISPID* id)
{
    if (!id) return E_POINTER;
    const std::wstring_view n = name ? std::wstring_view(name, SysStringLen(name)) : std::wstring_view();
    return lookup(n, (flags & fdexNameEnsure) != 0 || createsOnLookup(), id);
}

STDMETHODIMP ScriptObject::InvokeEx(DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                    EXCEPINFO* exception, IServiceProvider*)
{
    return invokeSlot(id, flags, params, result, exception);
}

STDMETHODIMP ScriptObject::DeleteMemberByName(BSTR name, DWORD)
{
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(lookup(name ? name : L"", false, &id))) return S_OK;
    return DeleteMemberByDispID(id);
}

STDMETHODIMP ScriptObject::DeleteMemberByDispID(DISPID id)
{
    values_.erase(id);
    return S_OK;
}

STDMETHODIMP ScriptObject::GetMemberProperties(DISPID, DWORD, DWORD* properties)
{
    if (properties) *properties = 0;
    return E_NOTIMPL;
}

STDMETHODIMP ScriptObject::GetMemberName(DISPID id, BSTR* name)
{
    if (!name) return E_POINTER;
    *name = nullptr;
    if (id < 1 || static_cast<size_t>(id) > names_.size()) return DISP_E_UNKNOWNNAME;
    *name = AllocText(names_[static_cast<size_t>(id) - 1]);
    return *name ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP ScriptObject::GetNextDispID(DWORD, DISPID id, DISPID* next)
{
    if (!next) return E_POINTER;
    auto it = values_.upper_bound(id);
    if (it == values_.end()) {
        *next = DISPID_UNKNOWN;
        return S_FALSE;
    }
    *next = it->first;
    return S_OK;
}

STDMETHODIMP ScriptObject::GetNameSpaceParent(IUnknown** parent)
{
    if (parent) *parent = nullptr;
    return E_NOTIMPL;
}

bool ScriptObject::isMember(std::wstring_view) const
{
    return false;
}

HRESULT ScriptObject::getMember(std::wstring_view, VARIANT*)
{
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT ScriptObject::putMember(std::wstring_view, const VARIANT&)
{
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT ScriptObject::callMember(std::wstring_view, const Args&, VARIANT*)
{
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT ScriptObject::defaultValue(VARIANT*)
{
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT ScriptObject::findOutside(std::wstring_view, DISPID*)
{
    return DISP_E_UNKNOWNNAME;
}

HRESULT ScriptObject::invokeOutside(DISPID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*)
{
    return DISP_E_MEMBERNOTFOUND;
}

const VARIANT* ScriptObject::expando(std::wstring_view name) const
{
    for (size_t i = 0; i < names_.size(); ++i) {
        if (names_[i] != name) continue;
        auto it = values_.find(static_cast<DISPID>(i + 1));
        return it == values_.end() ? nullptr : &it->second.get();
    }
    return nullptr;
}

void ScriptObject::setExpando(std::wstring_view name, const VARIANT& value)
{
    DISPID id = DISPID_UNKNOWN;
    if (SUCCEEDED(lookup(name, true, &id)) && id < kOutsideIds) values_[id] = Variant(value);
}

void ScriptObject::clearExpandos()
{
    // Moved out first: releasing a value may run code that touches this object.
    std::map<DISPID, Variant> values;
    values.swap(values_);
}

HRESULT ScriptObject::lookup(std::wstring_view name, bool create, DISPID* id)
{
    *id = DISPID_UNKNOWN;
    for (size_t i = 0; i < names_.size(); ++i) {
        if (names_[i] == name) {
            *id = static_cast<DISPID>(i + 1);
            return S_OK;
        }
    }
    const bool member = isMember(name);
    if (!member && SUCCEEDED(findOutside(name, id))) return S_OK;
    if (!member && !create) return DISP_E_UNKNOWNNAME;
    names_.emplace_back(name);
    *id = static_cast<DISPID>(names_.size());
    return S_OK;
}

HRESULT ScriptObject::getSlot(DISPID id, VARIANT* result)
{
    const std::wstring name = names_[static_cast<size_t>(id) - 1];
    Variant value;
    HRESULT hr = getMember(name, &value);
    if (hr == DISP_E_MEMBERNOTFOUND) {
        auto it = values_.find(id);
        if (it != values_.end()) value = it->second;
        hr = S_OK;
    }
    if (SUCCEEDED(hr) && result) value.detachTo(result);
    return hr;
}

HRESULT ScriptObject::invokeSlot(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* exception)
{
    // Members always write their value; a caller that wants none gets it dropped.
    Variant scratch;
    if (result) VariantInit(result);
    else result = &scratch;
    if (id >= kOutsideIds) return invokeOutside(id, flags, params, result, exception);
    // Keeps the object alive while script code that runs from here drops
    // its last reference.
    ComRef<IDispatchEx> self(this);
    if (id == DISPID_VALUE) {
        if (flags & DISPATCH_PROPERTYGET) {
            Variant value;
            const HRESULT hr = defaultValue(&value);
            if (SUCCEEDED(hr)) value.detachTo(result);
            return hr;
        }
        return DISP_E_MEMBERNOTFOUND;
    }
    if (id < 1 || static_cast<size_t>(id) > names_.size()) return DISP_E_MEMBERNOTFOUND;
    const std::wstring name = names_[static_cast<size_t>(id) - 1];

    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        if (!params || params->cArgs == 0) return DISP_E_PARAMNOTOPTIONAL;
        const VARIANT* value = &params->rgvarg[0];
        for (UINT i = 0; i < params->cNamedArgs; ++i) {
            if (params->rgdispidNamedArgs[i] == DISPID_PROPERTYPUT) value = &params->rgvarg[i];
        }
        if (V_VT(value) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(value)) value = V_VARIANTREF(value);
        const HRESULT hr = putMember(name, *value);
        if (hr != DISP_E_MEMBERNOTFOUND) return hr;
        values_[id] = Variant(*value);
        return S_OK;
    }
    if (flags & DISPATCH_METHOD) {
        const HRESULT hr = callMember(name, PositionalArgs(params), result);
        if (hr != DISP_E_MEMBERNOTFOUND) return hr;
        // A function the script stored in the object.
        Variant stored;
        if (SUCCEEDED(getSlot(id, &stored)) && stored.type() == VT_DISPATCH && V_DISPATCH(&stored.get()))
            return CallFunction(V_DISPATCH(&stored.get()), params, result, dispatch());
        if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    }
    if (flags & DISPATCH_PROPERTYGET) return getSlot(id, result);
    return DISP_E_MEMBERNOTFOUND;
}

}  // namespace htmlengine
