#include "script_host.h"

#include <algorithm>

namespace {

// The parser interface of the engine's own word size; MinGW's uuid library
// lacks the 64-bit one.
#ifdef _WIN64
const IID kParseIid = {0xc7ef7658, 0xe1ee, 0x480e, {0x97, 0xea, 0xd5, 0x2c, 0xb4, 0xd7, 0x6d, 0x17}};
#else
const IID kParseIid = {0xbb1a2ae2, 0xa4f9, 0x11cf, {0x8f, 0x20, 0x00, 0x80, 0x5f, 0x2c, 0xd0, 0x64}};
#endif

}  // namespace

// The engine's view of its host: names the window as the only named item
// and collects the errors the engine reports.
class ScriptSite final : public IActiveScriptSite {
public:
    explicit ScriptSite(FakeObject* window) : window_(window) {}

    std::vector<std::wstring> sourceNames;
    std::vector<std::wstring> errors;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IActiveScriptSite)) {
            *out = static_cast<IActiveScriptSite*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        return static_cast<ULONG>(InterlockedIncrement(&refs_));
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE GetLCID(LCID* lcid) override
    {
        if (lcid)
            *lcid = LOCALE_USER_DEFAULT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item,
                                          ITypeInfo** info) override
    {
        if (info)
            *info = nullptr;
        if (item)
            *item = nullptr;
        if (!name || wcscmp(name, L"window") != 0)
            return TYPE_E_ELEMENTNOTFOUND;
        if ((mask & SCRIPTINFO_IUNKNOWN) && item) {
            window_->AddRef();
            *item = static_cast<IDispatch*>(window_);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR* version) override
    {
        if (version)
            *version = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override
    {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError* error) override
    {
        EXCEPINFO info = {};
        DWORD context = 0;
        ULONG line = 0;
        LONG column = 0;
        if (error) {
            error->GetExceptionInfo(&info);
            error->GetSourcePosition(&context, &line, &column);
        }
        std::wstring source = context < sourceNames.size() ? sourceNames[context] : L"?";
        std::wstring text = source + L":" + std::to_wstring(line + 1) + L":" +
                            std::to_wstring(column + 1) + L": " +
                            (info.bstrDescription ? info.bstrDescription : L"(no description)");
        errors.push_back(text);
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnEnterScript() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnLeaveScript() override { return S_OK; }

private:
    LONG refs_ = 1;
    FakeObject* window_;
};

ScriptHost::ScriptHost(FakeDom& dom) : dom_(dom), site_(new ScriptSite(dom.window()))
{
    CLSID jscript;
    if (FAILED(CLSIDFromProgID(L"JScript", &jscript)))
        return;
    if (FAILED(CoCreateInstance(jscript, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                                script_.out_void())))
        return;
    parse_ = script_.As<IActiveScriptParse>(kParseIid);
    if (!parse_ || FAILED(parse_->InitNew()) || FAILED(script_->SetScriptSite(site_)))
        return;
    if (FAILED(script_->AddNamedItem(L"window", SCRIPTITEM_ISVISIBLE | SCRIPTITEM_GLOBALMEMBERS)))
        return;
    ready_ = SUCCEEDED(script_->SetScriptState(SCRIPTSTATE_STARTED));
}

ScriptHost::~ScriptHost()
{
    // The page's functions held by the fake objects go first, then the
    // engine, which releases the fake objects it holds.
    dom_.Clear();
    parse_.reset();
    if (script_) {
        script_->Close();
        script_.reset();
    }
    site_->Release();
}

const std::vector<std::wstring>& ScriptHost::errors() const
{
    return site_->errors;
}

bool ScriptHost::Run(const std::wstring& code, const std::wstring& sourceName)
{
    if (!ready_)
        return false;
    size_t before = site_->errors.size();
    site_->sourceNames.push_back(sourceName);
    EXCEPINFO info = {};
    HRESULT hr = parse_->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr,
                                         site_->sourceNames.size() - 1, 0, SCRIPTTEXT_ISVISIBLE,
                                         nullptr, &info);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    return SUCCEEDED(hr) && site_->errors.size() == before;
}

bool ScriptHost::Eval(const std::wstring& expression, VARIANT* result)
{
    if (!ready_)
        return false;
    size_t before = site_->errors.size();
    site_->sourceNames.push_back(L"(expression) " + expression);
    EXCEPINFO info = {};
    VariantInit(result);
    HRESULT hr = parse_->ParseScriptText(expression.c_str(), nullptr, nullptr, nullptr,
                                         site_->sourceNames.size() - 1, 0,
                                         SCRIPTTEXT_ISEXPRESSION, result, &info);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    return SUCCEEDED(hr) && site_->errors.size() == before;
}

HRESULT ScriptHost::LookUp(const std::wstring& name, DISPID* id)
{
    ComPtr<IDispatch> global;
    if (!ready_ || FAILED(script_->GetScriptDispatch(nullptr, global.out())) || !global)
        return E_FAIL;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    return global->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, id);
}

HRESULT ScriptHost::Call(const std::wstring& name, const std::vector<VARIANT>& args,
                         VARIANT* result)
{
    ComPtr<IDispatch> global;
    if (!ready_ || FAILED(script_->GetScriptDispatch(nullptr, global.out())) || !global)
        return E_FAIL;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    HRESULT hr = global->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
    if (hr != S_OK)
        return hr;
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    if (unsignedAsNumbers_) {
        for (VARIANT& arg : reversed) {
            if (arg.vt == VT_UINT || arg.vt == VT_UI4) {
                double value = arg.vt == VT_UINT ? arg.uintVal : arg.ulVal;
                arg.vt = VT_R8;
                arg.dblVal = value;
            }
        }
    }
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                         static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO info = {};
    UINT argError = 0xFFFFFFFF;
    VARIANT ignored;
    VariantInit(&ignored);
    hr = global->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result ? result : &ignored,
                        &info, &argError);
    VariantClear(&ignored);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    return hr;
}

VARIANT UintArg(unsigned value)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_UINT;
    v.uintVal = value;
    return v;
}

VARIANT TextArg(const wchar_t* text)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = text ? SysAllocString(text) : nullptr;
    return v;
}

VARIANT BoolArg(bool value)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

void ClearArgs(std::vector<VARIANT>& args)
{
    for (VARIANT& v : args)
        VariantClear(&v);
    args.clear();
}

bool IntProperty(IDispatch* object, const wchar_t* name, int* value)
{
    if (!object)
        return false;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    if (object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id) != S_OK)
        return false;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    bool ok = object->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                             nullptr) == S_OK &&
              VariantChangeType(&result, &result, 0, VT_I4) == S_OK;
    if (ok)
        *value = result.lVal;
    VariantClear(&result);
    return ok;
}
