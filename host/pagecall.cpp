#include "host/pagecall.h"

#include "shell/errorlog.h"

#include <mshtml.h>

#include <memory>
#include <new>

namespace {

constexpr LCID kNameLocale = LOCALE_SYSTEM_DEFAULT;  // 0x800

bool IsPageArgumentKind(VARTYPE kind)
{
    return kind == VT_BSTR || kind == VT_UINT || kind == VT_BOOL;
}

// The call's arguments in automation's order: the last one first.
class ReversedArguments {
public:
    explicit ReversedArguments(UINT count)
        : values_(count ? new (std::nothrow) VARIANT[count] : nullptr), count_(count)
    {
        for (UINT i = 0; values_ && i < count_; ++i)
            VariantInit(&values_[i]);
    }
    ~ReversedArguments()
    {
        for (UINT i = 0; values_ && i < count_; ++i)
            VariantClear(&values_[i]);
    }
    ReversedArguments(const ReversedArguments&) = delete;
    ReversedArguments& operator=(const ReversedArguments&) = delete;

    bool Allocated() const { return count_ == 0 || values_; }

    // Copies the caller's list, walking it from its last element to its
    // first; false when an element is of a kind no page receives.
    bool CopyFrom(const VARIANT* arguments)
    {
        for (UINT from = count_; from-- > 0;) {
            const VARIANT& argument = arguments[from];
            if (!IsPageArgumentKind(V_VT(&argument)))
                return false;
            if (FAILED(VariantCopy(&values_[count_ - 1 - from], const_cast<VARIANT*>(&argument))))
                return false;
        }
        return true;
    }

    VARIANT* Data() { return values_.get(); }

private:
    std::unique_ptr<VARIANT[]> values_;
    UINT count_;
};

}  // namespace

PageArgs::~PageArgs()
{
    for (UINT i = 0; i < count_; ++i)
        VariantClear(&values_[i]);
}

VARIANT* PageArgs::Next()
{
    if (count_ >= kMaxArgs) {
        ok_ = false;
        return nullptr;
    }
    VARIANT* value = &values_[count_++];
    VariantInit(value);
    return value;
}

PageArgs& PageArgs::Uint(uint32_t number)
{
    if (VARIANT* value = Next()) {
        V_VT(value) = VT_UINT;
        V_UINT(value) = number;
    }
    return *this;
}

PageArgs& PageArgs::Text(const wchar_t* text)
{
    if (VARIANT* value = Next()) {
        V_VT(value) = VT_BSTR;
        V_BSTR(value) = text ? SysAllocString(text) : nullptr;
        if (text && !V_BSTR(value))
            ok_ = false;
    }
    return *this;
}

PageArgs& PageArgs::Bool(bool flag)
{
    if (VARIANT* value = Next()) {
        V_VT(value) = VT_BOOL;
        V_BOOL(value) = flag ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return *this;
}

ComPtr<IDispatch> GetScriptObject(IWebBrowser2* browser)
{
    if (!browser)
        return nullptr;
    ComPtr<IDispatch> document;
    if (FAILED(browser->get_Document(document.out())) || !document)
        return nullptr;
    ComPtr<IHTMLDocument2> html = document.As<IHTMLDocument2>(IID_IHTMLDocument2);
    if (!html)
        return nullptr;
    ComPtr<IDispatch> script;
    if (FAILED(html->get_Script(script.out())))
        return nullptr;
    return script;
}

bool ExecuteScript(const wchar_t* name, const VARIANT* arguments, UINT count, IWebBrowser2* browser,
                   VARIANT* result, IDispatch* script)
{
    if (!name || !browser || (count > 0 && !arguments))
        return false;
    ComPtr<IDispatch> target = script ? ComPtr<IDispatch>::Share(script) : GetScriptObject(browser);
    if (!target) {
        LogMessage(L"ExecuteScript: cannot obtain DOM's script object");
        return false;
    }

    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = target->GetIDsOfNames(IID_NULL, names, 1, kNameLocale, &id);
    if (hr != S_OK) {
        LogMessage(L"ExecuteScript: GetIDsOfNames returned 0x%lx", static_cast<unsigned long>(hr));
        return false;
    }

    ReversedArguments reversed(count);
    if (!reversed.Allocated() || !reversed.CopyFrom(arguments))
        return false;
    DISPPARAMS params = {};
    params.rgvarg = reversed.Data();
    params.cArgs = count;
    EXCEPINFO exception = {};
    UINT argumentError = 0xFFFFFFFF;
    hr = target->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result, &exception, &argumentError);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    if (hr != S_OK) {
        LogMessage(L"ExecuteScript: Invoke returned 0x%lx", static_cast<unsigned long>(hr));
        return false;
    }
    return true;
}

bool GetIntProperty(IDispatch* object, const wchar_t* name, int32_t* value)
{
    if (!object || !name || !value)
        return false;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    if (object->GetIDsOfNames(IID_NULL, names, 1, kNameLocale, &id) != S_OK)
        return false;
    DISPPARAMS none = {};
    ScopedVariant property;
    if (object->Invoke(id, IID_NULL, kNameLocale, DISPATCH_PROPERTYGET, &none, property.get(), nullptr,
                       nullptr) != S_OK)
        return false;
    ScopedVariant number;
    if (VariantChangeType(number.get(), property.get(), 0, VT_I4) != S_OK)
        return false;
    *value = V_I4(number.get());
    return true;
}
