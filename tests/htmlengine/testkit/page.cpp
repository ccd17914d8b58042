#include "page.h"

#include <mshtml.h>

namespace testkit {

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void PumpFor(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    PumpUntil([&] { return GetTickCount() - start >= milliseconds; }, milliseconds + 1000);
}

Variant UintArg(unsigned value)
{
    Variant v;
    V_VT(&v) = VT_UINT;
    V_UINT(&v) = value;
    return v;
}

Variant TextArg(std::wstring_view value)
{
    Variant v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = htmlengine::AllocText(value);
    return v;
}

Variant NullTextArg()
{
    Variant v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = nullptr;
    return v;
}

Variant BoolArg(bool value)
{
    Variant v;
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

ComRef<IDispatch> PageScript(IWebBrowser2* browser)
{
    ComRef<IDispatch> document;
    if (!browser || FAILED(browser->get_Document(document.put())) || !document) return {};
    auto html = document.query<IHTMLDocument2>();
    ComRef<IDispatch> script;
    if (!html || FAILED(html->get_Script(script.put()))) return {};
    return script;
}

namespace {

HRESULT Lookup(IDispatch* object, const wchar_t* name, DISPID& id)
{
    if (!object) return E_POINTER;
    std::wstring text(name);
    LPOLESTR names[] = {text.data()};
    return object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
}

}  // namespace

HRESULT CallMember(IDispatch* object, const wchar_t* name, const std::vector<Variant>& args, VARIANT* result)
{
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = Lookup(object, name, id);
    if (hr != S_OK) return hr;
    std::vector<VARIANT> reversed;
    for (size_t i = args.size(); i-- > 0;) reversed.push_back(args[i].get());
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO exception{};
    UINT argError = 0xFFFFFFFF;
    hr = object->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result, &exception, &argError);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return hr;
}

HRESULT GetMember(IDispatch* object, const wchar_t* name, VARIANT* result)
{
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = Lookup(object, name, id);
    if (hr != S_OK) return hr;
    DISPPARAMS none{};
    return object->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result, nullptr, nullptr);
}

bool GetIntMember(IDispatch* object, const wchar_t* name, long& value)
{
    Variant raw;
    if (GetMember(object, name, &raw) != S_OK) return false;
    Variant number;
    if (FAILED(htmlengine::ChangeType(&number, &raw.get(), 0, VT_I4))) return false;
    value = V_I4(&number.get());
    return true;
}

std::wstring ElementProperty(IDispatch* script, const wchar_t* id, const wchar_t* property, bool* found)
{
    if (found) *found = false;
    Variant document;
    if (GetMember(script, L"document", &document) != S_OK || document.type() != VT_DISPATCH) return {};
    Variant element;
    if (CallMember(V_DISPATCH(&document.get()), L"getElementById", {TextArg(id)}, &element) != S_OK ||
        element.type() != VT_DISPATCH || !V_DISPATCH(&element.get()))
        return {};
    if (found) *found = true;
    Variant value;
    if (GetMember(V_DISPATCH(&element.get()), property, &value) != S_OK) return {};
    return TextOf(value.get());
}

std::wstring TextOf(const VARIANT& value)
{
    if (V_VT(&value) == VT_BSTR) return V_BSTR(&value) ? std::wstring(V_BSTR(&value), SysStringLen(V_BSTR(&value))) : L"";
    Variant text;
    if (FAILED(htmlengine::ChangeType(&text, &value, VARIANT_ALPHABOOL, VT_BSTR))) return {};
    return TextOf(text.get());
}

}  // namespace testkit
