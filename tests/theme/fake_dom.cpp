#include "fake_dom.h"

#include <algorithm>
#include <cwchar>
#include <set>

namespace {

constexpr DISPID kFirstId = 1000;

// The automation helpers take their sources as non-const pointers.
VARIANT* Mutable(const VARIANT* value)
{
    return const_cast<VARIANT*>(value);
}

// The program's methods as the page sees them on window.external, with one
// letter per parameter: B text, W 16-bit number, U 32-bit number.
const std::map<std::wstring, std::wstring>& ProgramMethods()
{
    static const std::map<std::wstring, std::wstring> methods = {
        {L"optionSave", L"BB"},        {L"windowInit", L"WW"},
        {L"windowMove", L""},          {L"windowClose", L""},
        {L"windowMinimize", L""},      {L"kernelUrl", L"B"},
        {L"kernelUrlNotify", L"B"},    {L"kernelLogin", L"BB"},
        {L"loginUsingVkontakte", L""}, {L"gameRun", L"U"},
        {L"gameDelete", L"U"},         {L"gameSelect", L"U"},
        {L"gameGetBigIcon", L"U"},     {L"gameGetSmallIcon", L"U"},
        {L"gameBuy", L"BUU"},          {L"gameCustom", L"U"},
        {L"gameToFacebook", L"U"},     {L"gameToVkontakte", L"U"},
        {L"shareGameToFacebook", L"U"}, {L"shareGameToVkontakte", L"U"},
        {L"kernelUrlDirect", L"B"},    {L"installYandexPackage", L"U"},
        {L"updateYandexState", L""},   {L"uiTest", L"U"},
    };
    return methods;
}

const std::set<std::wstring>& WindowNames()
{
    static const std::set<std::wstring> names = {
        L"document", L"external",     L"window",      L"self",
        L"event",    L"setTimeout",   L"clearTimeout", L"setInterval",
        L"clearInterval", L"onload",  L"onunload",    L"onresize",
        L"navigator", L"location",
    };
    return names;
}

const std::set<std::wstring>& ElementMethods()
{
    static const std::set<std::wstring> names = {
        L"appendChild", L"removeChild", L"insertBefore", L"setAttribute",
        L"getAttribute", L"removeAttribute", L"focus", L"blur",
        L"scrollIntoView", L"click",
    };
    return names;
}

// Argument i of a call, in the caller's order (automation stores them last
// first).
const VARIANT* Argument(const DISPPARAMS* params, UINT i)
{
    if (!params || i >= params->cArgs)
        return nullptr;
    const VARIANT* v = &params->rgvarg[params->cArgs - 1 - i];
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal)
        v = v->pvarVal;
    return v;
}

std::wstring AsText(const VARIANT& value)
{
    if (value.vt == VT_BSTR)
        return value.bstrVal ? std::wstring(value.bstrVal, SysStringLen(value.bstrVal)) : L"";
    VARIANT text;
    VariantInit(&text);
    std::wstring result;
    if (SUCCEEDED(VariantChangeType(&text, Mutable(&value), 0, VT_BSTR)) && text.bstrVal)
        result.assign(text.bstrVal, SysStringLen(text.bstrVal));
    VariantClear(&text);
    return result;
}

void SetDispatch(VARIANT* result, IDispatch* object)
{
    if (!result)
        return;
    VariantInit(result);
    if (object) {
        object->AddRef();
        result->vt = VT_DISPATCH;
        result->pdispVal = object;
    } else {
        result->vt = VT_NULL;
    }
}

}  // namespace

std::wstring DescribeVariant(const VARIANT& value)
{
    switch (value.vt) {
    case VT_EMPTY:
        return L"undefined";
    case VT_NULL:
        return L"null";
    case VT_BOOL:
        return value.boolVal ? L"true" : L"false";
    case VT_BSTR:
        return L"\"" + AsText(value) + L"\"";
    case VT_DISPATCH:
        return L"[object]";
    default:
        return AsText(value);
    }
}

// ---- FakeObject ----------------------------------------------------------

FakeObject::FakeObject(FakeDom& dom, Kind kind, std::wstring tag)
    : dom_(dom), kind_(kind), tag_(std::move(tag))
{
}

FakeObject::~FakeObject()
{
    Drop();
}

HRESULT STDMETHODCALLTYPE FakeObject::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE FakeObject::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

ULONG STDMETHODCALLTYPE FakeObject::Release()
{
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE FakeObject::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeObject::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (info)
        *info = nullptr;
    return E_NOTIMPL;
}

bool FakeObject::KnowsName(const std::wstring& name) const
{
    switch (kind_) {
    case Kind::Window:
        return WindowNames().count(name) != 0;
    case Kind::External:
        return ProgramMethods().count(name) != 0;
    default:
        return true;
    }
}

bool FakeObject::IsMethod(const std::wstring& name) const
{
    switch (kind_) {
    case Kind::Window:
        return name == L"setTimeout" || name == L"clearTimeout" || name == L"setInterval" ||
               name == L"clearInterval";
    case Kind::Document:
        return name == L"getElementById" || name == L"createElement" || name == L"createTextNode";
    case Kind::Element:
    case Kind::Text:
        return ElementMethods().count(name) != 0;
    case Kind::External:
        return true;
    case Kind::Style:
        return false;
    }
    return false;
}

HRESULT STDMETHODCALLTYPE FakeObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                                    DISPID* ids)
{
    if (!names || !ids)
        return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
        std::wstring name = names[i] ? names[i] : L"";
        if (i == 0 && KnowsName(name)) {
            ids[i] = dom_.IdOf(name);
        } else {
            ids[i] = DISPID_UNKNOWN;
            hr = DISP_E_UNKNOWNNAME;
        }
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE FakeObject::Invoke(DISPID id, REFIID, LCID, WORD flags,
                                             DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                             UINT*)
{
    const std::wstring* name = dom_.NameOf(id);
    if (!name || !KnowsName(*name))
        return DISP_E_MEMBERNOTFOUND;
    if (result)
        VariantInit(result);
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        if (!params || params->cArgs < 1)
            return DISP_E_BADPARAMCOUNT;
        return PutProperty(*name, params->rgvarg[0]);
    }
    if ((flags & DISPATCH_METHOD) && IsMethod(*name))
        return CallMethod(*name, params, result);
    if (flags & DISPATCH_PROPERTYGET)
        return GetProperty(*name, result);
    // Calling a stored value: only a function the script stored there.
    auto stored = properties_.find(*name);
    if (stored != properties_.end() && stored->second.vt == VT_DISPATCH && stored->second.pdispVal)
        return stored->second.pdispVal->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, params,
                                               result, nullptr, nullptr);
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT FakeObject::CallMethod(const std::wstring& name, DISPPARAMS* params, VARIANT* result)
{
    const UINT count = params ? params->cArgs : 0;
    if (kind_ == Kind::External) {
        const std::wstring& signature = ProgramMethods().at(name);
        if (count != signature.size())
            return DISP_E_BADPARAMCOUNT;
        std::wstring call = name + L"(";
        for (UINT i = 0; i < count; ++i) {
            const VARIANT* arg = Argument(params, i);
            VARIANT converted;
            VariantInit(&converted);
            VARTYPE want = signature[i] == L'B' ? VT_BSTR : signature[i] == L'W' ? VT_UI2 : VT_UI4;
            HRESULT hr = VariantChangeType(&converted, Mutable(arg), 0, want);
            VariantClear(&converted);
            if (FAILED(hr))
                return DISP_E_TYPEMISMATCH;
            call += (i ? L"," : L"") + DescribeVariant(*arg);
        }
        dom_.calls.push_back(call + L")");
        if (dom_.onCall)
            dom_.onCall(name);
        auto failing = dom_.failing.find(name);
        return failing == dom_.failing.end() ? S_OK : failing->second;
    }

    const VARIANT* first = Argument(params, 0);
    if (name == L"setTimeout" || name == L"setInterval") {
        if (!first || first->vt != VT_DISPATCH || !first->pdispVal)
            return E_INVALIDARG;  // pages pass functions, never code text
        int timer = dom_.SetTimer(first->pdispVal);
        if (result) {
            result->vt = VT_I4;
            result->lVal = timer;
        }
        return S_OK;
    }
    if (name == L"clearTimeout" || name == L"clearInterval") {
        if (first) {
            VARIANT number;
            VariantInit(&number);
            if (SUCCEEDED(VariantChangeType(&number, Mutable(first), 0, VT_I4)))
                dom_.ClearTimer(number.lVal);
        }
        return S_OK;
    }
    if (name == L"getElementById") {
        if (!first)
            return DISP_E_BADPARAMCOUNT;
        SetDispatch(result, dom_.ElementById(AsText(*first)));
        return S_OK;
    }
    if (name == L"createElement") {
        if (!first)
            return DISP_E_BADPARAMCOUNT;
        SetDispatch(result, dom_.Create(Kind::Element, AsText(*first)));
        return S_OK;
    }
    if (name == L"createTextNode") {
        FakeObject* text = dom_.Create(Kind::Text, L"#text");
        VARIANT data;
        VariantInit(&data);
        data.vt = VT_BSTR;
        data.bstrVal = SysAllocString(first ? AsText(*first).c_str() : L"");
        text->PutProperty(L"data", data);
        VariantClear(&data);
        SetDispatch(result, text);
        return S_OK;
    }
    if (name == L"appendChild" || name == L"insertBefore" || name == L"removeChild") {
        FakeObject* child = first && first->vt == VT_DISPATCH ? dom_.Find(first->pdispVal) : nullptr;
        if (!child || kind_ == Kind::Text)
            return E_INVALIDARG;
        if (name == L"removeChild") {
            if (child->parent_ != this)
                return E_INVALIDARG;
            RemoveChild(child);
        } else {
            // insertBefore is kept simple: the tests read content, not order
            // among siblings added that way.
            AppendChild(child);
        }
        SetDispatch(result, child);
        return S_OK;
    }
    if (name == L"setAttribute") {
        const VARIANT* value = Argument(params, 1);
        if (!first || !value)
            return DISP_E_BADPARAMCOUNT;
        return PutProperty(AsText(*first), *value);
    }
    if (name == L"getAttribute") {
        if (!first)
            return DISP_E_BADPARAMCOUNT;
        return GetProperty(AsText(*first), result);
    }
    if (name == L"removeAttribute") {
        if (first) {
            auto it = properties_.find(AsText(*first));
            if (it != properties_.end()) {
                VariantClear(&it->second);
                properties_.erase(it);
            }
        }
        return S_OK;
    }
    if (name == L"click") {
        HRESULT hr = Fire(L"onclick");
        return hr == S_FALSE ? S_OK : hr;
    }
    return S_OK;  // focus, blur, scrollIntoView: nothing to show
}

HRESULT FakeObject::GetProperty(const std::wstring& name, VARIANT* result)
{
    if (!result)
        return S_OK;
    switch (kind_) {
    case Kind::Window:
        if (name == L"document") {
            SetDispatch(result, dom_.document());
            return S_OK;
        }
        if (name == L"external") {
            SetDispatch(result, dom_.external());
            return S_OK;
        }
        if (name == L"window" || name == L"self") {
            SetDispatch(result, this);
            return S_OK;
        }
        if (name == L"event") {
            result->vt = VT_NULL;
            return S_OK;
        }
        break;
    case Kind::Document:
        if (name == L"body" || name == L"documentElement") {
            SetDispatch(result, dom_.ElementById(L"#" + name));
            return S_OK;
        }
        break;
    case Kind::Element:
    case Kind::Text:
        if (name == L"style") {
            if (!style_)
                style_ = dom_.Create(Kind::Style, L"#style");
            SetDispatch(result, style_);
            return S_OK;
        }
        if (name == L"parentNode") {
            SetDispatch(result, parent_);
            return S_OK;
        }
        if (name == L"firstChild" || name == L"lastChild") {
            SetDispatch(result, children_.empty() ? nullptr
                                : name == L"firstChild" ? children_.front() : children_.back());
            return S_OK;
        }
        if (name == L"tagName" || name == L"nodeName") {
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocString(tag_.c_str());
            return S_OK;
        }
        break;
    default:
        break;
    }
    auto stored = properties_.find(name);
    if (stored != properties_.end())
        return VariantCopy(result, &stored->second);
    return S_OK;  // not set: undefined
}

HRESULT FakeObject::PutProperty(const std::wstring& name, const VARIANT& value)
{
    const VARIANT* v = &value;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal)
        v = v->pvarVal;
    if (kind_ == Kind::Element && (name == L"innerHTML" || name == L"innerText" ||
                                   name == L"textContent")) {
        ClearChildren();
        std::wstring text = AsText(*v);
        if (!text.empty()) {
            // Markup is kept as it came: the tests read it as text.
            FakeObject* node = dom_.Create(Kind::Text, L"#text");
            VARIANT data;
            VariantInit(&data);
            data.vt = VT_BSTR;
            data.bstrVal = SysAllocString(text.c_str());
            node->PutProperty(L"data", data);
            VariantClear(&data);
            AppendChild(node);
        }
    }
    VARIANT& slot = properties_[name];
    VariantClear(&slot);
    return VariantCopy(&slot, Mutable(v));
}

void FakeObject::AppendChild(FakeObject* child)
{
    if (child->parent_)
        child->parent_->RemoveChild(child);
    children_.push_back(child);
    child->parent_ = this;
}

void FakeObject::RemoveChild(FakeObject* child)
{
    children_.erase(std::remove(children_.begin(), children_.end(), child), children_.end());
    child->parent_ = nullptr;
}

void FakeObject::ClearChildren()
{
    for (FakeObject* child : children_)
        child->parent_ = nullptr;
    children_.clear();
}

std::wstring FakeObject::PropertyText(const std::wstring& name) const
{
    auto stored = properties_.find(name);
    return stored == properties_.end() ? L"" : AsText(stored->second);
}

bool FakeObject::Hidden() const
{
    return style_ && style_->PropertyText(L"display") == L"none";
}

std::wstring FakeObject::Text() const
{
    if (kind_ == Kind::Text)
        return PropertyText(L"data");
    std::wstring text;
    for (const FakeObject* child : children_)
        text += child->Text();
    return text;
}

HRESULT FakeObject::Fire(const std::wstring& handler)
{
    auto stored = properties_.find(handler);
    if (stored == properties_.end() || stored->second.vt != VT_DISPATCH || !stored->second.pdispVal)
        return S_FALSE;
    IDispatch* callback = stored->second.pdispVal;
    callback->AddRef();
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = callback->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, &result,
                                  nullptr, nullptr);
    VariantClear(&result);
    callback->Release();
    return hr;
}

void FakeObject::Drop()
{
    for (auto& entry : properties_)
        VariantClear(&entry.second);
    properties_.clear();
    ClearChildren();
    style_ = nullptr;
}

// ---- FakeDom -------------------------------------------------------------

FakeDom::FakeDom()
{
    window_ = Create(FakeObject::Kind::Window, L"#window");
    document_ = Create(FakeObject::Kind::Document, L"#document");
    external_ = Create(FakeObject::Kind::External, L"#external");
}

FakeDom::~FakeDom()
{
    Clear();
    for (FakeObject* object : objects_)
        object->Release();
}

FakeObject* FakeDom::ElementById(const std::wstring& id)
{
    auto found = byId_.find(id);
    if (found != byId_.end())
        return found->second;
    FakeObject* element = Create(FakeObject::Kind::Element, L"div");
    byId_[id] = element;
    return element;
}

FakeObject* FakeDom::Create(FakeObject::Kind kind, const std::wstring& tag)
{
    objects_.push_back(new FakeObject(*this, kind, tag));
    return objects_.back();
}

FakeObject* FakeDom::Find(IDispatch* object) const
{
    for (FakeObject* candidate : objects_) {
        if (static_cast<IDispatch*>(candidate) == object)
            return candidate;
    }
    return nullptr;
}

DISPID FakeDom::IdOf(const std::wstring& name)
{
    auto found = ids_.find(name);
    if (found != ids_.end())
        return found->second;
    DISPID id = kFirstId + static_cast<DISPID>(names_.size());
    names_.push_back(name);
    ids_[name] = id;
    return id;
}

const std::wstring* FakeDom::NameOf(DISPID id) const
{
    if (id < kFirstId || static_cast<size_t>(id - kFirstId) >= names_.size())
        return nullptr;
    return &names_[static_cast<size_t>(id - kFirstId)];
}

int FakeDom::SetTimer(IDispatch* callback)
{
    callback->AddRef();
    timers_[nextTimer_] = callback;
    return nextTimer_++;
}

void FakeDom::ClearTimer(int id)
{
    auto found = timers_.find(id);
    if (found != timers_.end()) {
        found->second->Release();
        timers_.erase(found);
    }
}

bool FakeDom::RunTimers()
{
    std::map<int, IDispatch*> due;
    due.swap(timers_);
    bool ok = true;
    for (auto& entry : due) {
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        VARIANT result;
        VariantInit(&result);
        if (FAILED(entry.second->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, &result,
                                        nullptr, nullptr)))
            ok = false;
        VariantClear(&result);
        entry.second->Release();
    }
    return ok;
}

void FakeDom::Clear()
{
    for (auto& entry : timers_)
        entry.second->Release();
    timers_.clear();
    onCall = nullptr;
    for (FakeObject* object : objects_)
        object->Drop();
}
