#include "script_host.h"

#include "browser.h"
#include "document.h"
#include "trace.h"

namespace htmlengine {
namespace {

// JScript 5.8 language features (JSON among them).
constexpr long kLanguageVersion58 = 2;

}  // namespace

ScriptHost::ScriptHost(Document* document) : document_(document) {}

ScriptHost::~ScriptHost() = default;

bool ScriptHost::start(IDispatch* window)
{
    CLSID jscript;
    if (FAILED(CLSIDFromProgID(L"JScript", &jscript))) return false;
    if (FAILED(CoCreateInstance(jscript, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IActiveScript),
                                engine_.putVoid())))
        return false;
    parser_ = engine_.query<IActiveScriptParse>();
    if (!parser_) return false;
    if (auto properties = engine_.query<IActiveScriptProperty>()) {
        VARIANT version;
        V_VT(&version) = VT_I4;
        V_I4(&version) = kLanguageVersion58;
        properties->SetProperty(SCRIPTPROP_INVOKEVERSIONING, nullptr, &version);
    }
    window_ = ComRef<IDispatch>(window);
    if (FAILED(engine_->SetScriptSite(this)) || FAILED(parser_->InitNew())) return false;
    if (FAILED(engine_->AddNamedItem(L"window", SCRIPTITEM_ISVISIBLE | SCRIPTITEM_GLOBALMEMBERS)))
        return false;
    if (FAILED(engine_->SetScriptState(SCRIPTSTATE_STARTED))) return false;
    engine_->GetScriptDispatch(nullptr, globals_.put());
    return true;
}

HRESULT ScriptHost::run(std::wstring_view code, std::wstring_view source, ULONG firstLine)
{
    if (!parser_) return E_UNEXPECTED;
    source_ = source;
    const std::wstring text(code);
    EXCEPINFO exception{};
    const HRESULT hr = parser_->ParseScriptText(text.c_str(), nullptr, nullptr, nullptr, 0, firstLine,
                                                SCRIPTTEXT_ISVISIBLE, nullptr, &exception);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return hr;
}

HRESULT ScriptHost::evaluate(std::wstring_view code, VARIANT* result)
{
    if (!parser_) return E_UNEXPECTED;
    source_ = L"eval";
    const std::wstring text(code);
    EXCEPINFO exception{};
    const HRESULT hr = parser_->ParseScriptText(text.c_str(), nullptr, nullptr, nullptr, 0, 0,
                                                SCRIPTTEXT_ISEXPRESSION, result, &exception);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return hr;
}

void ScriptHost::close()
{
    globals_.reset();
    parser_.reset();
    if (engine_) {
        engine_->Close();
        engine_.reset();
    }
    window_.reset();
    document_ = nullptr;
}

STDMETHODIMP ScriptHost::QueryInterface(REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == __uuidof(IActiveScriptSite)) {
        *out = static_cast<IActiveScriptSite*>(this);
    } else if (iid == __uuidof(IActiveScriptSiteWindow)) {
        *out = static_cast<IActiveScriptSiteWindow*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) ScriptHost::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

STDMETHODIMP_(ULONG) ScriptHost::Release()
{
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

STDMETHODIMP ScriptHost::GetLCID(LCID*)
{
    return E_NOTIMPL;
}

STDMETHODIMP ScriptHost::GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info)
{
    if (info) *info = nullptr;
    if (item) *item = nullptr;
    if (!name || wcscmp(name, L"window") != 0 || !window_) return TYPE_E_ELEMENTNOTFOUND;
    if ((mask & SCRIPTINFO_IUNKNOWN) && item) {
        *item = window_.get();
        window_->AddRef();
    }
    return S_OK;
}

STDMETHODIMP ScriptHost::GetDocVersionString(BSTR* version)
{
    if (version) *version = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ScriptHost::OnScriptTerminate(const VARIANT*, const EXCEPINFO*)
{
    return S_OK;
}

STDMETHODIMP ScriptHost::OnStateChange(SCRIPTSTATE)
{
    return S_OK;
}

STDMETHODIMP ScriptHost::OnScriptError(IActiveScriptError* error)
{
    if (!error) return E_POINTER;
    EXCEPINFO exception{};
    error->GetExceptionInfo(&exception);
    DWORD context = 0;
    ULONG line = 0;
    LONG column = 0;
    error->GetSourcePosition(&context, &line, &column);
    std::wstring text = source_ + L":" + std::to_wstring(line + 1) + L":" + std::to_wstring(column + 1) + L": ";
    if (exception.bstrDescription) text += exception.bstrDescription;
    else text += L"error " + std::to_wstring(exception.scode);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    Trace(L"error", text);
    return S_OK;
}

STDMETHODIMP ScriptHost::OnEnterScript()
{
    return S_OK;
}

STDMETHODIMP ScriptHost::OnLeaveScript()
{
    return S_OK;
}

STDMETHODIMP ScriptHost::GetWindow(HWND* window)
{
    if (!window) return E_POINTER;
    *window = document_ && document_->browser() ? document_->browser()->hookWindow() : nullptr;
    return S_OK;
}

STDMETHODIMP ScriptHost::EnableModeless(BOOL)
{
    return S_OK;
}

}  // namespace htmlengine
