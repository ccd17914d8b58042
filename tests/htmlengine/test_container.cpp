#include "test_container.h"

#include <exdispid.h>
#include <olectl.h>

#include <algorithm>

namespace enginetest {
namespace {

constexpr wchar_t kWindowClass[] = L"EngineTestContainer";

bool IsByRefVariant(const VARIANT& v, VARTYPE inner)
{
    return V_VT(&v) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(&v) && V_VT(V_VARIANTREF(&v)) == inner;
}

std::wstring RefText(const VARIANT& v)
{
    if (V_VT(&v) != (VT_VARIANT | VT_BYREF) || !V_VARIANTREF(&v)) return {};
    return testkit::TextOf(*V_VARIANTREF(&v));
}

LPOLESTR TaskText(const wchar_t* text)
{
    const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (copy) memcpy(copy, text, bytes);
    return copy;
}

}  // namespace

// --- EventSink ----------------------------------------------------------------------

std::vector<std::wstring> EventSink::names() const
{
    std::vector<std::wstring> out;
    for (const auto& e : events) out.push_back(e.name);
    return out;
}

bool EventSink::has(const std::wstring& name, const std::wstring& url) const
{
    return std::any_of(events.begin(), events.end(), [&](const Event& e) { return e.name == name && e.url == url; });
}

STDMETHODIMP EventSink::QueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) {
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) EventSink::Release()
{
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
}

STDMETHODIMP EventSink::GetTypeInfoCount(UINT* count)
{
    *count = 0;
    return S_OK;
}

STDMETHODIMP EventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    *info = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP EventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

STDMETHODIMP EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*)
{
    if (!params) return E_INVALIDARG;
    const VARIANT* a = params->rgvarg;
    const UINT n = params->cArgs;
    Event e;
    auto frameAt = [&](UINT i) {
        if (V_VT(&a[i]) == VT_DISPATCH) e.frame = ComRef<IDispatch>(V_DISPATCH(&a[i]));
        else e.layoutOk = false;
    };
    switch (id) {
    case DISPID_BEFORENAVIGATE2: {
        e.name = L"BeforeNavigate2";
        if (n != 7) return DISP_E_BADPARAMCOUNT;
        frameAt(6);
        e.url = RefText(a[5]);
        e.layoutOk = e.layoutOk && IsByRefVariant(a[5], VT_BSTR) && IsByRefVariant(a[4], VT_I4) &&
                     IsByRefVariant(a[3], VT_BSTR) && V_VT(&a[2]) == (VT_VARIANT | VT_BYREF) &&
                     IsByRefVariant(a[1], VT_BSTR) && V_VT(&a[0]) == (VT_BOOL | VT_BYREF);
        if (e.layoutOk && cancelBefore && cancelBefore(e.url)) *V_BOOLREF(&a[0]) = VARIANT_TRUE;
        break;
    }
    case DISPID_NAVIGATECOMPLETE2:
    case DISPID_DOCUMENTCOMPLETE:
        e.name = id == DISPID_NAVIGATECOMPLETE2 ? L"NavigateComplete2" : L"DocumentComplete";
        if (n != 2) return DISP_E_BADPARAMCOUNT;
        frameAt(1);
        e.url = RefText(a[0]);
        e.layoutOk = e.layoutOk && IsByRefVariant(a[0], VT_BSTR);
        break;
    case DISPID_NAVIGATEERROR:
        e.name = L"NavigateError";
        if (n != 5) return DISP_E_BADPARAMCOUNT;
        frameAt(4);
        e.url = RefText(a[3]);
        e.layoutOk = e.layoutOk && IsByRefVariant(a[3], VT_BSTR) && IsByRefVariant(a[2], VT_BSTR) &&
                     IsByRefVariant(a[1], VT_I4) && V_VT(&a[0]) == (VT_BOOL | VT_BYREF);
        if (IsByRefVariant(a[1], VT_I4)) e.status = V_I4(V_VARIANTREF(&a[1]));
        if (e.layoutOk && cancelErrors) *V_BOOLREF(&a[0]) = VARIANT_TRUE;
        break;
    default:
        return S_OK;
    }
    events.push_back(std::move(e));
    return S_OK;
}

// --- External -------------------------------------------------------------------------

STDMETHODIMP External::QueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) External::Release()
{
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
}

STDMETHODIMP External::GetTypeInfoCount(UINT* count)
{
    *count = 0;
    return S_OK;
}

STDMETHODIMP External::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    *info = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP External::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    if (count != 1) return DISP_E_UNKNOWNNAME;
    if (wcscmp(names[0], L"hostCall") == 0) ids[0] = 1;
    else if (wcscmp(names[0], L"note") == 0) ids[0] = 2;
    else return DISP_E_UNKNOWNNAME;
    return S_OK;
}

STDMETHODIMP External::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    if (id != 1 && id != 2) return DISP_E_MEMBERNOTFOUND;
    ExternalCall call;
    call.name = id == 1 ? L"hostCall" : L"note";
    for (UINT i = params ? params->cArgs : 0; i-- > 0;) {
        call.args.push_back(testkit::TextOf(params->rgvarg[i]));
        call.kinds.push_back(V_VT(&params->rgvarg[i]));
    }
    const std::wstring first = call.args.empty() ? L"" : call.args[0];
    calls.push_back(std::move(call));
    if (onCall) onCall(calls.back());
    if (id == 1 && result) {
        VariantInit(result);
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = SysAllocString((L"host saw " + first).c_str());
    }
    return S_OK;
}

// --- Container --------------------------------------------------------------------------

Container::Container() : sink_(new EventSink), external_(new External)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kWindowClass;
    RegisterClassExW(&wc);
    window_ = CreateWindowExW(0, kWindowClass, L"engine test", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 640, 480,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

Container::~Container()
{
    close();
    if (window_) DestroyWindow(window_);
    sink_->Release();
    external_->Release();
}

HRESULT Container::embed()
{
    if (!window_) return E_FAIL;
    HRESULT hr = CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, control_.putVoid());
    if (FAILED(hr)) return hr;
    if (FAILED(hr = control_->SetClientSite(this))) return hr;
    if (auto persist = control_.query<IPersistStreamInit>()) persist->InitNew();
    RECT client;
    GetClientRect(window_, &client);
    if (FAILED(hr = control_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, window_, &client))) return hr;
    browser_ = control_.query<IWebBrowser2>();
    if (!browser_) return E_NOINTERFACE;
    auto points = control_.query<IConnectionPointContainer>();
    if (!points) return E_NOINTERFACE;
    if (FAILED(hr = points->FindConnectionPoint(DIID_DWebBrowserEvents2, point_.put()))) return hr;
    return point_->Advise(static_cast<IDispatch*>(sink_), &cookie_);
}

void Container::close()
{
    if (point_) {
        point_->Unadvise(cookie_);
        point_.reset();
    }
    if (control_) {
        control_->Close(OLECLOSE_NOSAVE);
        control_->SetClientSite(nullptr);
        control_.reset();
    }
    browser_.reset();
}

HRESULT Container::navigate(const std::wstring& url)
{
    Variant address = testkit::TextArg(url);
    Variant empty;
    return browser_->Navigate2(&address, &empty, &empty, &empty, &empty);
}

bool Container::waitForEnd(size_t from)
{
    IDispatch* top = browser_.get();
    return testkit::PumpUntil([&] {
        for (size_t i = from; i < sink_->events.size(); ++i) {
            const Event& e = sink_->events[i];
            if (e.name == L"NavigateError" && e.frame.get() == top) return true;
            if (e.name == L"DocumentComplete" && e.frame.get() == top) return true;
        }
        return false;
    });
}

bool Container::navigateAndWait(const std::wstring& url)
{
    const size_t from = sink_->events.size();
    if (FAILED(navigate(url))) return false;
    return waitForEnd(from);
}

STDMETHODIMP Container::QueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IUnknown || iid == IID_IOleClientSite)
        *out = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
        *out = static_cast<IOleInPlaceSite*>(this);
    else if (iid == __uuidof(IDocHostUIHandler) || iid == __uuidof(IDocHostUIHandler2))
        *out = static_cast<IDocHostUIHandler2*>(this);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP Container::GetMoniker(DWORD, DWORD, IMoniker** moniker)
{
    *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP Container::GetContainer(IOleContainer** container)
{
    *container = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP Container::GetWindow(HWND* window)
{
    *window = window_;
    return S_OK;
}

STDMETHODIMP Container::OnInPlaceActivate()
{
    inPlaceActive = true;
    return S_OK;
}

STDMETHODIMP Container::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                         LPOLEINPLACEFRAMEINFO info)
{
    *frame = nullptr;
    *doc = nullptr;
    GetClientRect(window_, pos);
    *clip = *pos;
    info->fMDIApp = FALSE;
    info->hwndFrame = window_;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

STDMETHODIMP Container::OnInPlaceDeactivate()
{
    inPlaceActive = false;
    return S_OK;
}

STDMETHODIMP Container::ShowContextMenu(DWORD id, POINT* at, IUnknown*, IDispatch*)
{
    contextMenus.push_back({id, at ? *at : POINT{-1, -1}});
    return contextMenuAnswer;
}

STDMETHODIMP Container::GetHostInfo(DOCHOSTUIINFO* info)
{
    hostCalls.push_back(L"GetHostInfo");
    info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO;
    return S_OK;
}

STDMETHODIMP Container::GetOptionKeyPath(LPOLESTR* key, DWORD)
{
    hostCalls.push_back(L"GetOptionKeyPath");
    *key = TaskText(L"Software\\enginetest\\bro");
    return S_OK;
}

STDMETHODIMP Container::GetDropTarget(IDropTarget*, IDropTarget** target)
{
    *target = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP Container::GetExternal(IDispatch** external)
{
    hostCalls.push_back(L"GetExternal");
    if (!offerExternal) {
        *external = nullptr;
        return E_NOTIMPL;
    }
    *external = external_;
    external_->AddRef();
    return S_OK;
}

STDMETHODIMP Container::TranslateUrl(DWORD, LPWSTR, LPWSTR* out)
{
    *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP Container::FilterDataObject(IDataObject*, IDataObject** out)
{
    *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP Container::GetOverrideKeyPath(LPOLESTR* key, DWORD)
{
    hostCalls.push_back(L"GetOverrideKeyPath");
    *key = TaskText(L"Software\\enginetest\\bro");
    return S_OK;
}

std::wstring PagesModulePath()
{
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, n);
    path.erase(path.find_last_of(L"\\/") + 1);
    return path + L"htmlpages.dll";
}

std::wstring PageUrl(const std::wstring& tail)
{
    return L"res://" + PagesModulePath() + L"/" + tail;
}

}  // namespace enginetest
