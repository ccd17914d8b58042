#include "window.h"

#include "browser.h"
#include "document.h"
#include "load.h"
#include "trace.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>

namespace htmlengine {
namespace {

// A value as a trace record shows it: texts quoted.
std::wstring Describe(const VARIANT& v)
{
    const VARIANT* value = &v;
    if (V_VT(value) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(value)) value = V_VARIANTREF(value);
    if (V_VT(value) == VT_BSTR) return L"\"" + VariantText(*value) + L"\"";
    return VariantText(*value);
}

// Script engines know the common automation kinds; unsigned and other
// integer kinds are handed over as the number they hold.
void CopyArgument(const VARIANT& from, VARIANT& to)
{
    VariantInit(&to);
    switch (V_VT(&from)) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_UI4:
    case VT_INT: case VT_UINT: case VT_I8: case VT_UI8: {
        Variant wide;
        if (FAILED(ChangeType(&wide, &from, 0, V_VT(&from) == VT_UI8 ? VT_R8 : VT_I8))) return;
        if (wide.type() == VT_I8 && V_I8(&wide.get()) >= INT_MIN && V_I8(&wide.get()) <= INT_MAX) {
            V_VT(&to) = VT_I4;
            V_I4(&to) = static_cast<LONG>(V_I8(&wide.get()));
            return;
        }
        ChangeType(&to, &wide.get(), 0, VT_R8);
        return;
    }
    default:
        CopyValue(&to, from);
        return;
    }
}

}  // namespace

// --- Location --------------------------------------------------------------

bool Location::isMember(std::wstring_view name) const
{
    static constexpr std::array<std::wstring_view, 7> kMembers = {
        L"href", L"hash", L"protocol", L"toString", L"assign", L"replace", L"reload"};
    return std::find(kMembers.begin(), kMembers.end(), name) != kMembers.end();
}

HRESULT Location::getMember(std::wstring_view name, VARIANT* result)
{
    const std::wstring url = document_ ? document_->url() : std::wstring();
    if (name == L"href") return SetTextResult(result, url);
    if (name == L"hash") {
        const auto hash = url.find(L'#');
        return SetTextResult(result, hash == std::wstring::npos ? std::wstring() : url.substr(hash));
    }
    if (name == L"protocol") {
        const auto colon = url.find(L':');
        return SetTextResult(result, colon == std::wstring::npos ? std::wstring() : url.substr(0, colon + 1));
    }
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT Location::putMember(std::wstring_view name, const VARIANT& value)
{
    if (name == L"href") {
        Window::NavigateFrom(document_, VariantText(value));
        return S_OK;
    }
    if (name == L"hash" && document_) {
        std::wstring hash = VariantText(value);
        if (!hash.starts_with(L'#')) hash.insert(hash.begin(), L'#');
        Window::NavigateFrom(document_, hash);
        return S_OK;
    }
    return isMember(name) ? S_OK : DISP_E_MEMBERNOTFOUND;
}

HRESULT Location::callMember(std::wstring_view name, const Args& args, VARIANT* result)
{
    if (name == L"toString") return defaultValue(result);
    if (name == L"assign" || name == L"replace") {
        Window::NavigateFrom(document_, ArgText(args, 0));
        return S_OK;
    }
    if (name == L"reload") {
        if (document_) Window::NavigateFrom(document_, document_->url());
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT Location::defaultValue(VARIANT* result)
{
    return SetTextResult(result, document_ ? document_->url() : std::wstring());
}

// --- Window ----------------------------------------------------------------

Window::Window(Document* document) : document_(document) {}

void Window::detach()
{
    document_ = nullptr;
    if (location_) location_->detach();
    outside_.clear();
    clearExpandos();
}

IDispatch* Window::location()
{
    if (!location_) location_ = MakeObject<Location>(document_);
    return location_->dispatch();
}

void Window::NavigateFrom(Document* document, std::wstring_view url)
{
    if (!document || !document->browser() || url.empty()) return;
    document->browser()->navigateLater(ResolveUrl(document->url(), url));
}

bool Window::isMember(std::wstring_view name) const
{
    static constexpr std::array<std::wstring_view, 13> kMembers = {
        L"window", L"self", L"top", L"parent", L"document", L"external", L"location",
        L"setTimeout", L"clearTimeout", L"setInterval", L"clearInterval", L"alert", L"execScript"};
    return std::find(kMembers.begin(), kMembers.end(), name) != kMembers.end();
}

HRESULT Window::getMember(std::wstring_view name, VARIANT* result)
{
    if (!document_) return name == L"window" || name == L"self" ? SetObjectResult(result, dispatch())
                                                                 : DISP_E_MEMBERNOTFOUND;
    Browser* browser = document_->browser();
    if (name == L"window" || name == L"self") return SetObjectResult(result, dispatch());
    if (name == L"top" || name == L"parent") {
        Browser* target = browser ? (name == L"top" ? browser->top() : browser->parentBrowser()) : nullptr;
        Document* page = target ? target->document() : nullptr;
        return SetObjectResult(result, page && page->window() ? page->window()->dispatch() : dispatch());
    }
    if (name == L"document") return SetObjectResult(result, document_->dispatch());
    if (name == L"location") return SetObjectResult(result, location());
    if (name == L"external") {
        ComRef<IDispatch> external;
        if (browser) browser->top()->hostExternal(external.put());
        return SetObjectResult(result, external.get());
    }
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT Window::putMember(std::wstring_view name, const VARIANT& value)
{
    if (name == L"location") {
        NavigateFrom(document_, VariantText(value));
        return S_OK;
    }
    return isMember(name) ? S_OK : DISP_E_MEMBERNOTFOUND;
}

HRESULT Window::callMember(std::wstring_view name, const Args& args, VARIANT* result)
{
    if (!isMember(name)) return DISP_E_MEMBERNOTFOUND;
    if (!document_) return E_UNEXPECTED;
    if (name == L"setTimeout" || name == L"setInterval") {
        if (args.empty()) return E_INVALIDARG;
        const long delay = std::max(0L, ArgInt(args, 1, 0));
        const UINT_PTR id = document_->setTimer(*args[0], static_cast<UINT>(delay), name == L"setInterval");
        V_VT(result) = VT_I4;
        V_I4(result) = static_cast<LONG>(id);
        return S_OK;
    }
    if (name == L"clearTimeout" || name == L"clearInterval") {
        const long id = ArgInt(args, 0, 0);
        if (id > 0) document_->clearTimer(static_cast<UINT_PTR>(id));
        return S_OK;
    }
    if (name == L"alert") {
        // No dialog: nothing may wait for a user here.
        Trace(L"alert", ArgText(args, 0));
        return S_OK;
    }
    if (name == L"execScript") {
        return document_->execute(ArgText(args, 0), L"execScript") ? S_OK : DISP_E_EXCEPTION;
    }
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT Window::findOutside(std::wstring_view name, DISPID* id)
{
    IDispatch* globals = document_ ? document_->scriptGlobals() : nullptr;
    if (!globals || finding_) return DISP_E_UNKNOWNNAME;
    for (size_t i = 0; i < outside_.size(); ++i) {
        if (outside_[i].name == name) {
            *id = kOutsideIds + static_cast<DISPID>(i);
            return S_OK;
        }
    }
    finding_ = true;
    std::wstring text(name);
    LPOLESTR names[] = {text.data()};
    DISPID scriptId = DISPID_UNKNOWN;
    const HRESULT hr = globals->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &scriptId);
    finding_ = false;
    if (hr != S_OK) return DISP_E_UNKNOWNNAME;
    outside_.push_back({std::move(text), scriptId});
    *id = kOutsideIds + static_cast<DISPID>(outside_.size() - 1);
    return S_OK;
}

HRESULT Window::invokeOutside(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO* exception)
{
    const size_t index = static_cast<size_t>(id - kOutsideIds);
    ComRef<IDispatch> globals(document_ ? document_->scriptGlobals() : nullptr);
    if (!globals || index >= outside_.size()) return DISP_E_MEMBERNOTFOUND;
    const OutsideName target = outside_[index];
    ComRef<Document> page(document_);

    std::vector<VARIANT> copies(params ? params->cArgs : 0);
    for (size_t i = 0; i < copies.size(); ++i) CopyArgument(params->rgvarg[i], copies[i]);
    DISPPARAMS forwarded{};
    if (params) forwarded = *params;
    forwarded.rgvarg = copies.empty() ? nullptr : copies.data();

    const bool fromOutside = page->scriptDepth() == 0;
    if (flags & DISPATCH_METHOD) {
        // Recorded before it runs, so that the calls it leads to follow it.
        const UINT named = params ? params->cNamedArgs : 0;
        TracePageCall(page->url(), target.name, params ? params->rgvarg + named : nullptr,
                      params ? params->cArgs - named : 0, !fromOutside);
    }
    page->enterScript();
    EXCEPINFO localException{};
    UINT argError = 0;
    const HRESULT hr = globals->Invoke(target.scriptId, IID_NULL, LOCALE_SYSTEM_DEFAULT, flags, &forwarded,
                                       result, exception ? exception : &localException, &argError);
    page->leaveScript();
    SysFreeString(localException.bstrSource);
    SysFreeString(localException.bstrDescription);
    SysFreeString(localException.bstrHelpFile);

    if (fromOutside && (flags & DISPATCH_METHOD)) {
        std::wstring record = target.name + L"(";
        for (size_t i = copies.size(); i-- > forwarded.cNamedArgs;) {
            record += Describe(copies[i]);
            if (i > forwarded.cNamedArgs) record += L", ";
        }
        record += L")";
        if (SUCCEEDED(hr)) {
            record += L" -> " + (result ? Describe(*result) : std::wstring(L"undefined"));
        } else {
            wchar_t code[16];
            swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
            record += L" failed ";
            record += code;
        }
        Trace(L"call", record);
    }
    for (auto& v : copies) VariantClear(&v);
    return hr;
}

}  // namespace htmlengine
