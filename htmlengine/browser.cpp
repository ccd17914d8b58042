#include "browser.h"

#include "document.h"
#include "hooks.h"
#include "load.h"
#include "module.h"
#include "trace.h"
#include "window.h"

#include <exdispid.h>

namespace htmlengine {
namespace {

constexpr wchar_t kViewWindowClass[] = L"ZelHtmlEngineView";
constexpr UINT kNavigateMessage = WM_APP + 1;
constexpr int kMaxFrameDepth = 3;

std::wstring HexCode(long code)
{
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(code));
    return text;
}

void RegisterWindowClass(const wchar_t* name, WNDPROC proc, HBRUSH background)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    if (GetClassInfoExW(ThisModule(), name, &wc)) return;
    wc.lpfnWndProc = proc;
    wc.hInstance = ThisModule();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

// The text of an automation value given to Navigate2 (a text, possibly
// passed by reference).
std::wstring ArgumentText(const VARIANT* v)
{
    if (!v) return {};
    if (V_VT(v) == (VT_VARIANT | VT_BYREF)) return ArgumentText(V_VARIANTREF(v));
    if (V_VT(v) == (VT_BSTR | VT_BYREF)) return V_BSTRREF(v) && *V_BSTRREF(v) ? *V_BSTRREF(v) : L"";
    if (V_VT(v) == VT_EMPTY || V_VT(v) == VT_NULL || V_VT(v) == VT_ERROR) return {};
    return VariantText(*v);
}

long ArgumentNumber(const VARIANT* v)
{
    if (!v) return 0;
    if (V_VT(v) == (VT_VARIANT | VT_BYREF)) return ArgumentNumber(V_VARIANTREF(v));
    Variant number;
    if (FAILED(ChangeType(&number, v, 0, VT_I4))) return 0;
    return V_I4(&number.get());
}

// Post data: a byte array, possibly by reference.
void CopyPostData(const VARIANT* v, Variant& out)
{
    if (!v) return;
    if (V_VT(v) == (VT_VARIANT | VT_BYREF)) return CopyPostData(V_VARIANTREF(v), out);
    if (V_VT(v) == (VT_ARRAY | VT_UI1) && V_ARRAY(v)) out = Variant(*v);
}

std::string PostBytes(const Variant& post)
{
    if (post.type() != (VT_ARRAY | VT_UI1)) return {};
    SAFEARRAY* array = V_ARRAY(&post.get());
    LONG low = 0, high = -1;
    SafeArrayGetLBound(array, 1, &low);
    SafeArrayGetUBound(array, 1, &high);
    void* data = nullptr;
    if (high < low || FAILED(SafeArrayAccessData(array, &data))) return {};
    std::string bytes(static_cast<const char*>(data), static_cast<size_t>(high - low + 1));
    SafeArrayUnaccessData(array);
    return bytes;
}

VARIANT ByRef(VARIANT* target)
{
    VARIANT v;
    V_VT(&v) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&v) = target;
    return v;
}

VARIANT Object(IDispatch* object)
{
    VARIANT v;
    V_VT(&v) = VT_DISPATCH;
    V_DISPATCH(&v) = object;
    return v;
}

VARIANT BoolRef(VARIANT_BOOL* target)
{
    VARIANT v;
    V_VT(&v) = VT_BOOL | VT_BYREF;
    V_BOOLREF(&v) = target;
    return v;
}

HRESULT SetBool(VARIANT_BOOL* p, bool value)
{
    if (!p) return E_POINTER;
    *p = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT SetText(BSTR* p, std::wstring_view text)
{
    if (!p) return E_POINTER;
    *p = AllocText(text);
    return *p ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

// --- creation and the engine's own side -------------------------------------------

Browser::Browser(Browser* parent) : parent_(parent)
{
    if (parent_) depth_ = parent_->depth_ + 1;
    RegisterWindowClass(kHookWindowClass, HookProc, nullptr);
    hook_.reset(CreateWindowExW(0, kHookWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(),
                                nullptr));
    if (hook_.get()) SetWindowLongPtrW(hook_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    if (SUCCEEDED(LoadRegTypeLib(LIBID_SHDocVw, 1, 1, LOCALE_NEUTRAL, typeLib_.put()))) {
        ComRef<ITypeInfo> dispatchInfo;
        typeLib_->GetTypeInfoOfGuid(__uuidof(IWebBrowser2), dispatchInfo.put());
        // The dual interface's own description (for ITypeInfo::Invoke).
        HREFTYPE ref = 0;
        if (dispatchInfo && SUCCEEDED(dispatchInfo->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)))
            dispatchInfo->GetRefTypeInfo(ref, browserInfo_.put());
        if (!browserInfo_) browserInfo_ = dispatchInfo;
    }
}

Browser::~Browser()
{
    unloadDocument();
    if (hook_.get()) SetWindowLongPtrW(hook_.get(), GWLP_USERDATA, 0);
    if (view_.get()) SetWindowLongPtrW(view_.get(), GWLP_USERDATA, 0);
}

ComRef<Browser> Browser::CreateControl()
{
    return ComRef<Browser>::adopt(new Browser(nullptr));
}

Browser* Browser::top()
{
    Browser* b = this;
    while (b->parent_) b = b->parent_;
    return b;
}

void Browser::navigateLater(std::wstring url)
{
    Navigation navigation;
    navigation.url = std::move(url);
    startNavigation(std::move(navigation));
}

HRESULT Browser::hostExternal(IDispatch** external)
{
    *external = nullptr;
    auto handler = uiHandler();
    if (!handler) return E_NOINTERFACE;
    return handler->GetExternal(external);
}

HRESULT Browser::showContextMenu(DWORD id, POINT at)
{
    auto handler = top()->uiHandler();
    HRESULT hr = S_FALSE;
    if (handler) {
        ComRef<Browser> self(this);
        IUnknown* target = document_ ? static_cast<IDispatchEx*>(document_.get()) : nullptr;
        Node* body = document_ ? document_->body() : nullptr;
        hr = handler->ShowContextMenu(id, &at, target, body ? body->dispatch() : nullptr);
    }
    Trace(L"host", L"ShowContextMenu " + std::to_wstring(id) + L" " + std::to_wstring(at.x) + L"," +
                       std::to_wstring(at.y) + L" -> " + HexCode(hr));
    return hr;
}

bool Browser::evaluateForHook(std::wstring_view code)
{
    if (!document_) return false;
    ComRef<Document> page(document_);
    Variant result;
    const HRESULT hr = page->evaluate(code, &result);
    Trace(L"eval", SUCCEEDED(hr) ? VariantText(result.get()) : L"failed " + HexCode(hr));
    return SUCCEEDED(hr);
}

void Browser::closeFrame()
{
    closed_ = true;
    pending_.reset();
    unloadDocument();
    parent_ = nullptr;
    hook_.reset();
}

LRESULT CALLBACK Browser::HookProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* browser = reinterpret_cast<Browser*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (browser) {
        ComRef<Browser> keep(browser);
        return browser->onHookMessage(message, wParam, lParam);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT Browser::onHookMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    static const UINT contextMenuMessage = RegisterWindowMessageW(kContextMenuMessage);
    if (message == kNavigateMessage) {
        runPendingNavigation();
        return 0;
    }
    if (message == WM_TIMER) {
        if (document_) document_->runTimer(wParam);
        else KillTimer(hook_.get(), wParam);
        return 0;
    }
    if (message == contextMenuMessage && contextMenuMessage != 0) {
        const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        return showContextMenu(static_cast<DWORD>(wParam), at);
    }
    if (message == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (!data || data->dwData != kEvaluateCopyData) return 0;
        const std::wstring_view code(static_cast<const wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t));
        return evaluateForHook(code) ? 1 : 0;
    }
    return DefWindowProcW(hook_.get(), message, wParam, lParam);
}

LRESULT CALLBACK Browser::ViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* browser = reinterpret_cast<Browser*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (browser && message == WM_CONTEXTMENU) {
        ComRef<Browser> keep(browser);
        POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        browser->showContextMenu(CONTEXT_MENU_DEFAULT, at);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// --- navigation ----------------------------------------------------------------------

HRESULT Browser::startNavigation(Navigation navigation)
{
    if (closed_ || !hook_.get()) return E_FAIL;
    if (navigation.url.empty()) return E_INVALIDARG;
    pending_ = std::move(navigation);
    // Navigation is asynchronous, as in the real control: a sink advised
    // right after Navigate2 still hears every event.
    PostMessageW(hook_.get(), kNavigateMessage, 0, 0);
    return S_OK;
}

void Browser::runPendingNavigation()
{
    if (navigating_ || !pending_ || closed_) return;
    const Navigation navigation = std::move(*pending_);
    pending_.reset();
    navigating_ = true;
    navigateNow(navigation);
    navigating_ = false;
    if (pending_ && !closed_) PostMessageW(hook_.get(), kNavigateMessage, 0, 0);
}

bool Browser::stillShowing(const Document* page) const
{
    return !closed_ && document_.get() == page;
}

void Browser::navigateNow(const Navigation& navigation)
{
    ComRef<Browser> self(this);
    if (fireBeforeNavigate2(navigation) || closed_) return;
    if (!parent_) askHostAtLoad();
    busy_ = true;
    readyState_ = READYSTATE_LOADING;
    LoadRequest request;
    request.url = navigation.url;
    request.postData = PostBytes(navigation.postData);
    request.headers = navigation.headers;
    const LoadResult page = htmlengine::Load(request);
    busy_ = false;
    if (closed_) return;
    if (!page.ok()) {
        if (fireNavigateError(navigation, page.navigateErrorCode()) || closed_) {
            readyState_ = document_ ? READYSTATE_COMPLETE : READYSTATE_UNINITIALIZED;
            return;
        }
        // Not cancelled: an answer from the server is shown as it came; for
        // anything else an empty page stands at the address that failed.
        if (FAILED(page.error)) {
            showPage(navigation.url, L"");
            return;
        }
    }
    showPage(page.url, DecodePage(page.body, page.charset));
}

void Browser::showPage(const std::wstring& url, std::wstring_view markup)
{
    unloadDocument();
    auto page = ComRef<Document>::adopt(new Document(this, url));
    document_ = page;
    locationUrl_ = url;
    if (hook_.get()) SetWindowTextW(hook_.get(), url.c_str());
    page->build(markup);
    page->setReadyState(READYSTATE_INTERACTIVE);
    readyState_ = READYSTATE_INTERACTIVE;
    fireNavigateComplete2(url);
    if (!stillShowing(page.get())) return;
    page->runScripts();
    if (!stillShowing(page.get())) return;
    if (depth_ < kMaxFrameDepth) {
        for (const auto& address : page->frameAddresses()) {
            auto frame = ComRef<Browser>::adopt(new Browser(this));
            page->addFrame(frame);
            Navigation navigation;
            navigation.url = address;
            frame->navigateNow(navigation);
            if (!stillShowing(page.get())) return;
        }
    }
    page->runOnload();
    if (!stillShowing(page.get())) return;
    page->setReadyState(READYSTATE_COMPLETE);
    readyState_ = READYSTATE_COMPLETE;
    fireDocumentComplete(url);
}

void Browser::unloadDocument()
{
    if (!document_) return;
    ComRef<Document> old = std::move(document_);
    document_.reset();
    old->unload();
}

// --- the host's user-interface handler ---------------------------------------------------

ComRef<IDocHostUIHandler> Browser::uiHandler()
{
    Browser* t = top();
    if (!t->site_) return {};
    return t->site_.query<IDocHostUIHandler>();
}

void Browser::askHostAtLoad()
{
    auto handler = uiHandler();
    if (!handler) return;
    DOCHOSTUIINFO info{};
    info.cbSize = sizeof(info);
    HRESULT hr = handler->GetHostInfo(&info);
    CoTaskMemFree(info.pchHostCss);
    CoTaskMemFree(info.pchHostNS);
    Trace(L"host", L"GetHostInfo flags " + HexCode(static_cast<long>(info.dwFlags)) + L" -> " + HexCode(hr));
    TaskMemText key;
    hr = handler->GetOptionKeyPath(key.put(), 0);
    Trace(L"host", L"GetOptionKeyPath " + key.str() + L" -> " + HexCode(hr));
    if (auto handler2 = handler.query<IDocHostUIHandler2>()) {
        TaskMemText overrideKey;
        hr = handler2->GetOverrideKeyPath(overrideKey.put(), 0);
        Trace(L"host", L"GetOverrideKeyPath " + overrideKey.str() + L" -> " + HexCode(hr));
    }
}

// --- events ---------------------------------------------------------------------------

bool Browser::fireBeforeNavigate2(const Navigation& navigation)
{
    Trace(L"event", L"BeforeNavigate2 " + navigation.url);
    VARIANT url, flags, target, post, headers;
    V_VT(&url) = VT_BSTR;
    V_BSTR(&url) = AllocText(navigation.url);
    V_VT(&flags) = VT_I4;
    V_I4(&flags) = navigation.flags;
    V_VT(&target) = VT_BSTR;
    V_BSTR(&target) = AllocText(navigation.targetFrame);
    VariantInit(&post);
    CopyValue(&post, navigation.postData.get());
    V_VT(&headers) = VT_BSTR;
    V_BSTR(&headers) = AllocText(navigation.headers);
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT args[7] = {BoolRef(&cancel), ByRef(&headers), ByRef(&post), ByRef(&target),
                       ByRef(&flags), ByRef(&url), Object(static_cast<IWebBrowser2*>(this))};
    DISPPARAMS params{args, nullptr, 7, 0};
    top()->events_.fire(DISPID_BEFORENAVIGATE2, params);
    VariantClear(&url);
    VariantClear(&target);
    VariantClear(&post);
    VariantClear(&headers);
    if (cancel) Trace(L"event", L"BeforeNavigate2 cancelled " + navigation.url);
    return cancel != VARIANT_FALSE;
}

void Browser::fireNavigateComplete2(const std::wstring& address)
{
    Trace(L"event", L"NavigateComplete2 " + address);
    VARIANT url;
    V_VT(&url) = VT_BSTR;
    V_BSTR(&url) = AllocText(address);
    VARIANT args[2] = {ByRef(&url), Object(static_cast<IWebBrowser2*>(this))};
    DISPPARAMS params{args, nullptr, 2, 0};
    top()->events_.fire(DISPID_NAVIGATECOMPLETE2, params);
    VariantClear(&url);
}

void Browser::fireDocumentComplete(const std::wstring& address)
{
    Trace(L"event", L"DocumentComplete " + address);
    VARIANT url;
    V_VT(&url) = VT_BSTR;
    V_BSTR(&url) = AllocText(address);
    VARIANT args[2] = {ByRef(&url), Object(static_cast<IWebBrowser2*>(this))};
    DISPPARAMS params{args, nullptr, 2, 0};
    top()->events_.fire(DISPID_DOCUMENTCOMPLETE, params);
    VariantClear(&url);
}

bool Browser::fireNavigateError(const Navigation& navigation, long status)
{
    Trace(L"event", L"NavigateError " + navigation.url + L" " + HexCode(status));
    VARIANT url, target, code;
    V_VT(&url) = VT_BSTR;
    V_BSTR(&url) = AllocText(navigation.url);
    V_VT(&target) = VT_BSTR;
    V_BSTR(&target) = AllocText(navigation.targetFrame);
    V_VT(&code) = VT_I4;
    V_I4(&code) = status;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT args[5] = {BoolRef(&cancel), ByRef(&code), ByRef(&target), ByRef(&url),
                       Object(static_cast<IWebBrowser2*>(this))};
    DISPPARAMS params{args, nullptr, 5, 0};
    top()->events_.fire(DISPID_NAVIGATEERROR, params);
    VariantClear(&url);
    VariantClear(&target);
    return cancel != VARIANT_FALSE;
}

// --- IUnknown -------------------------------------------------------------------------

STDMETHODIMP Browser::QueryInterface(REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(IWebBrowser) ||
        iid == __uuidof(IWebBrowserApp) || iid == __uuidof(IWebBrowser2))
        *out = static_cast<IWebBrowser2*>(this);
    else if (parent_)
        return E_NOINTERFACE;  // a frame is no OLE control
    else if (iid == IID_IOleObject)
        *out = static_cast<IOleObject*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject)
        *out = static_cast<IOleInPlaceObject*>(this);
    else if (iid == IID_IOleInPlaceActiveObject)
        *out = static_cast<IOleInPlaceActiveObject*>(this);
    else if (iid == IID_IViewObject || iid == IID_IViewObject2)
        *out = static_cast<IViewObject2*>(this);
    else if (iid == IID_IPersist || iid == IID_IPersistStreamInit)
        *out = static_cast<IPersistStreamInit*>(this);
    else if (iid == IID_IOleControl)
        *out = static_cast<IOleControl*>(this);
    else if (iid == IID_IProvideClassInfo || iid == IID_IProvideClassInfo2)
        *out = static_cast<IProvideClassInfo2*>(this);
    else if (iid == IID_IConnectionPointContainer)
        *out = static_cast<IConnectionPointContainer*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) Browser::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

STDMETHODIMP_(ULONG) Browser::Release()
{
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

// --- IDispatch ------------------------------------------------------------------------

ITypeInfo* Browser::browserTypeInfo()
{
    return browserInfo_.get();
}

STDMETHODIMP Browser::GetTypeInfoCount(UINT* count)
{
    if (!count) return E_POINTER;
    *count = browserTypeInfo() ? 1 : 0;
    return S_OK;
}

STDMETHODIMP Browser::GetTypeInfo(UINT index, LCID, ITypeInfo** info)
{
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return HandOut(browserTypeInfo(), info) == S_OK ? S_OK : TYPE_E_ELEMENTNOTFOUND;
}

STDMETHODIMP Browser::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    if (!browserTypeInfo()) return DISP_E_UNKNOWNNAME;
    return DispGetIDsOfNames(browserTypeInfo(), names, count, ids);
}

STDMETHODIMP Browser::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO* exception, UINT* argError)
{
    if (!browserTypeInfo()) return DISP_E_MEMBERNOTFOUND;
    return DispInvoke(static_cast<IWebBrowser2*>(this), browserTypeInfo(), id, flags, params, result,
                      exception, argError);
}

// --- IWebBrowser ------------------------------------------------------------------------

STDMETHODIMP Browser::GoBack()
{
    return E_FAIL;  // no history is kept
}

STDMETHODIMP Browser::GoForward()
{
    return E_FAIL;
}

STDMETHODIMP Browser::GoHome()
{
    return E_NOTIMPL;
}

STDMETHODIMP Browser::GoSearch()
{
    return E_NOTIMPL;
}

STDMETHODIMP Browser::Navigate(BSTR url, VARIANT* flags, VARIANT* targetFrame, VARIANT* postData,
                               VARIANT* headers)
{
    VARIANT address;
    V_VT(&address) = VT_BSTR;
    V_BSTR(&address) = url;
    return Navigate2(&address, flags, targetFrame, postData, headers);
}

STDMETHODIMP Browser::Refresh()
{
    if (locationUrl_.empty()) return S_OK;
    navigateLater(locationUrl_);
    return S_OK;
}

STDMETHODIMP Browser::Refresh2(VARIANT*)
{
    return Refresh();
}

STDMETHODIMP Browser::Stop()
{
    pending_.reset();
    return S_OK;
}

STDMETHODIMP Browser::get_Application(IDispatch** p)
{
    return HandOut(static_cast<IWebBrowser2*>(this), p);
}

STDMETHODIMP Browser::get_Parent(IDispatch** p)
{
    return HandOut(parent_ ? static_cast<IWebBrowser2*>(parent_) : static_cast<IWebBrowser2*>(this), p);
}

STDMETHODIMP Browser::get_Container(IDispatch** p)
{
    if (p) *p = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP Browser::get_Document(IDispatch** p)
{
    if (!p) return E_POINTER;
    *p = document_ ? static_cast<IDispatchEx*>(document_.get()) : nullptr;
    if (*p) (*p)->AddRef();
    return S_OK;
}

STDMETHODIMP Browser::get_TopLevelContainer(VARIANT_BOOL* p)
{
    return SetBool(p, parent_ == nullptr);
}

STDMETHODIMP Browser::get_Type(BSTR* p)
{
    return SetText(p, L"HTML Document");
}

STDMETHODIMP Browser::get_Left(LONG* p)
{
    if (!p) return E_POINTER;
    *p = rect_.left;
    return S_OK;
}

STDMETHODIMP Browser::put_Left(LONG v)
{
    OffsetRect(&rect_, v - rect_.left, 0);
    placeView();
    return S_OK;
}

STDMETHODIMP Browser::get_Top(LONG* p)
{
    if (!p) return E_POINTER;
    *p = rect_.top;
    return S_OK;
}

STDMETHODIMP Browser::put_Top(LONG v)
{
    OffsetRect(&rect_, 0, v - rect_.top);
    placeView();
    return S_OK;
}

STDMETHODIMP Browser::get_Width(LONG* p)
{
    if (!p) return E_POINTER;
    *p = rect_.right - rect_.left;
    return S_OK;
}

STDMETHODIMP Browser::put_Width(LONG v)
{
    rect_.right = rect_.left + v;
    placeView();
    return S_OK;
}

STDMETHODIMP Browser::get_Height(LONG* p)
{
    if (!p) return E_POINTER;
    *p = rect_.bottom - rect_.top;
    return S_OK;
}

STDMETHODIMP Browser::put_Height(LONG v)
{
    rect_.bottom = rect_.top + v;
    placeView();
    return S_OK;
}

STDMETHODIMP Browser::get_LocationName(BSTR* p)
{
    if (!p) return E_POINTER;
    BSTR title = nullptr;
    if (document_ && SUCCEEDED(document_->get_title(&title)) && title && *title) {
        *p = title;
        return S_OK;
    }
    SysFreeString(title);
    return SetText(p, locationUrl_);
}

STDMETHODIMP Browser::get_LocationURL(BSTR* p)
{
    return SetText(p, locationUrl_);
}

STDMETHODIMP Browser::get_Busy(VARIANT_BOOL* p)
{
    return SetBool(p, busy_ || navigating_ || pending_.has_value());
}

// --- IWebBrowserApp ------------------------------------------------------------------------

STDMETHODIMP Browser::Quit()
{
    return E_NOTIMPL;
}

STDMETHODIMP Browser::ClientToWindow(int*, int*)
{
    return E_NOTIMPL;
}

STDMETHODIMP Browser::PutProperty(BSTR name, VARIANT value)
{
    if (!name) return E_INVALIDARG;
    properties_[name] = Variant(value);
    return S_OK;
}

STDMETHODIMP Browser::GetProperty(BSTR name, VARIANT* value)
{
    if (!name || !value) return E_INVALIDARG;
    VariantInit(value);
    auto it = properties_.find(name);
    if (it == properties_.end()) return S_OK;
    return VariantCopy(value, &it->second.get());
}

STDMETHODIMP Browser::get_Name(BSTR* p)
{
    return SetText(p, L"Microsoft Web Browser Control");
}

STDMETHODIMP Browser::get_HWND(SHANDLE_PTR* p)
{
    if (p) *p = 0;
    return E_FAIL;  // a control has no frame window of its own
}

STDMETHODIMP Browser::get_FullName(BSTR* p)
{
    if (p) *p = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP Browser::get_Path(BSTR* p)
{
    if (p) *p = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP Browser::get_Visible(VARIANT_BOOL* p)
{
    return SetBool(p, visible_);
}

STDMETHODIMP Browser::put_Visible(VARIANT_BOOL v)
{
    visible_ = v != VARIANT_FALSE;
    return S_OK;
}

// The browser frame's own bars do not exist in a control.
STDMETHODIMP Browser::get_StatusBar(VARIANT_BOOL* p)
{
    return SetBool(p, false);
}

STDMETHODIMP Browser::put_StatusBar(VARIANT_BOOL)
{
    return S_OK;
}

STDMETHODIMP Browser::get_StatusText(BSTR* p)
{
    return SetText(p, L"");
}

STDMETHODIMP Browser::put_StatusText(BSTR)
{
    return S_OK;
}

STDMETHODIMP Browser::get_ToolBar(int* p)
{
    if (!p) return E_POINTER;
    *p = 0;
    return S_OK;
}

STDMETHODIMP Browser::put_ToolBar(int)
{
    return S_OK;
}

STDMETHODIMP Browser::get_MenuBar(VARIANT_BOOL* p)
{
    return SetBool(p, false);
}

STDMETHODIMP Browser::put_MenuBar(VARIANT_BOOL)
{
    return S_OK;
}

STDMETHODIMP Browser::get_FullScreen(VARIANT_BOOL* p)
{
    return SetBool(p, false);
}

STDMETHODIMP Browser::put_FullScreen(VARIANT_BOOL)
{
    return S_OK;
}

// --- IWebBrowser2 ------------------------------------------------------------------------

STDMETHODIMP Browser::Navigate2(VARIANT* url, VARIANT* flags, VARIANT* targetFrame, VARIANT* postData,
                                VARIANT* headers)
{
    Navigation navigation;
    navigation.url = ArgumentText(url);
    navigation.flags = ArgumentNumber(flags);
    navigation.targetFrame = ArgumentText(targetFrame);
    CopyPostData(postData, navigation.postData);
    navigation.headers = ArgumentText(headers);
    return startNavigation(std::move(navigation));
}

STDMETHODIMP Browser::QueryStatusWB(OLECMDID, OLECMDF*)
{
    return E_NOTIMPL;
}

STDMETHODIMP Browser::ExecWB(OLECMDID, OLECMDEXECOPT, VARIANT*, VARIANT*)
{
    return E_NOTIMPL;
}

STDMETHODIMP Browser::ShowBrowserBar(VARIANT*, VARIANT*, VARIANT*)
{
    return E_NOTIMPL;
}

STDMETHODIMP Browser::get_ReadyState(READYSTATE* p)
{
    if (!p) return E_POINTER;
    *p = readyState_;
    return S_OK;
}

STDMETHODIMP Browser::get_Offline(VARIANT_BOOL* p)
{
    return SetBool(p, offline_);
}

STDMETHODIMP Browser::put_Offline(VARIANT_BOOL v)
{
    offline_ = v != VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP Browser::get_Silent(VARIANT_BOOL* p)
{
    return SetBool(p, silent_);
}

STDMETHODIMP Browser::put_Silent(VARIANT_BOOL v)
{
    silent_ = v != VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP Browser::get_RegisterAsBrowser(VARIANT_BOOL* p)
{
    return SetBool(p, registerAsBrowser_);
}

STDMETHODIMP Browser::put_RegisterAsBrowser(VARIANT_BOOL v)
{
    registerAsBrowser_ = v != VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP Browser::get_RegisterAsDropTarget(VARIANT_BOOL* p)
{
    return SetBool(p, registerAsDropTarget_);
}

STDMETHODIMP Browser::put_RegisterAsDropTarget(VARIANT_BOOL v)
{
    registerAsDropTarget_ = v != VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP Browser::get_TheaterMode(VARIANT_BOOL* p)
{
    return SetBool(p, false);
}

STDMETHODIMP Browser::put_TheaterMode(VARIANT_BOOL)
{
    return S_OK;
}

STDMETHODIMP Browser::get_AddressBar(VARIANT_BOOL* p)
{
    return SetBool(p, false);
}

STDMETHODIMP Browser::put_AddressBar(VARIANT_BOOL)
{
    return S_OK;
}

STDMETHODIMP Browser::get_Resizable(VARIANT_BOOL* p)
{
    return SetBool(p, false);
}

STDMETHODIMP Browser::put_Resizable(VARIANT_BOOL)
{
    return S_OK;
}

// --- IOleObject ---------------------------------------------------------------------------

STDMETHODIMP Browser::SetClientSite(IOleClientSite* site)
{
    if (!site) {
        InPlaceDeactivate();
        inPlaceSite_.reset();
    }
    site_ = ComRef<IOleClientSite>(site);
    return S_OK;
}

STDMETHODIMP Browser::GetClientSite(IOleClientSite** site)
{
    if (!site) return E_POINTER;
    *site = site_.get();
    if (*site) (*site)->AddRef();
    return S_OK;
}

STDMETHODIMP Browser::SetHostNames(LPCOLESTR, LPCOLESTR)
{
    return S_OK;
}

STDMETHODIMP Browser::Close(DWORD)
{
    ComRef<Browser> self(this);
    InPlaceDeactivate();
    closed_ = true;
    pending_.reset();
    unloadDocument();
    if (adviseHolder_) adviseHolder_->SendOnClose();
    return S_OK;
}

STDMETHODIMP Browser::SetMoniker(DWORD, IMoniker*)
{
    return E_NOTIMPL;
}

STDMETHODIMP Browser::GetMoniker(DWORD, DWORD, IMoniker** moniker)
{
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP Browser::InitFromData(IDataObject*, BOOL, DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP Browser::GetClipboardData(DWORD, IDataObject** data)
{
    if (data) *data = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP Browser::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND, LPCRECT)
{
    if (activeSite && !site_) site_ = ComRef<IOleClientSite>(activeSite);
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
        return activateInPlace(false);
    case OLEIVERB_UIACTIVATE:
        return activateInPlace(true);
    case OLEIVERB_HIDE:
        if (view_.get()) ShowWindow(view_.get(), SW_HIDE);
        return S_OK;
    default:
        return OLEOBJ_S_INVALIDVERB;
    }
}

HRESULT Browser::activateInPlace(bool uiActivate)
{
    if (closed_) return E_UNEXPECTED;
    if (!site_) return E_UNEXPECTED;
    if (!inPlaceSite_) {
        auto site = site_.query<IOleInPlaceSite>();
        if (!site) return E_NOINTERFACE;
        if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
        inPlaceSite_ = site;
        inPlaceSite_->OnInPlaceActivate();
    }
    HWND parent = nullptr;
    if (FAILED(inPlaceSite_->GetWindow(&parent)) || !parent) return E_FAIL;
    ComRef<IOleInPlaceFrame> frame;
    ComRef<IOleInPlaceUIWindow> uiWindow;
    RECT pos{}, clip{};
    OLEINPLACEFRAMEINFO frameInfo{};
    frameInfo.cb = sizeof(frameInfo);
    if (SUCCEEDED(inPlaceSite_->GetWindowContext(frame.put(), uiWindow.put(), &pos, &clip, &frameInfo)))
        rect_ = pos;
    if (!view_.get()) {
        RegisterWindowClass(kViewWindowClass, ViewProc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        view_.reset(CreateWindowExW(0, kViewWindowClass, L"", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                    rect_.left, rect_.top, rect_.right - rect_.left, rect_.bottom - rect_.top,
                                    parent, nullptr, ThisModule(), nullptr));
        if (!view_.get()) return E_FAIL;
        SetWindowLongPtrW(view_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    placeView();
    ShowWindow(view_.get(), SW_SHOWNA);
    if (uiActivate && !uiActive_) {
        uiActive_ = true;
        inPlaceSite_->OnUIActivate();
        if (frame) frame->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this), L"WebBrowser");
        if (uiWindow) uiWindow->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this), L"WebBrowser");
    }
    return S_OK;
}

void Browser::placeView()
{
    if (view_.get())
        MoveWindow(view_.get(), rect_.left, rect_.top, rect_.right - rect_.left, rect_.bottom - rect_.top, TRUE);
}

STDMETHODIMP Browser::EnumVerbs(IEnumOLEVERB** verbs)
{
    if (verbs) *verbs = nullptr;
    return OLE_S_USEREG;
}

STDMETHODIMP Browser::Update()
{
    return S_OK;
}

STDMETHODIMP Browser::IsUpToDate()
{
    return S_OK;
}

STDMETHODIMP Browser::GetUserClassID(CLSID* clsid)
{
    return GetClassID(clsid);
}

STDMETHODIMP Browser::GetUserType(DWORD, LPOLESTR* type)
{
    if (type) *type = nullptr;
    return OLE_S_USEREG;
}

STDMETHODIMP Browser::SetExtent(DWORD aspect, SIZEL* size)
{
    if (aspect != DVASPECT_CONTENT) return E_INVALIDARG;
    if (!size) return E_POINTER;
    extent_ = *size;
    return S_OK;
}

STDMETHODIMP Browser::GetExtent(DWORD aspect, SIZEL* size)
{
    if (aspect != DVASPECT_CONTENT) return E_INVALIDARG;
    if (!size) return E_POINTER;
    *size = extent_;
    return S_OK;
}

STDMETHODIMP Browser::Advise(IAdviseSink* sink, DWORD* connection)
{
    if (!adviseHolder_ && FAILED(CreateOleAdviseHolder(adviseHolder_.put()))) return E_OUTOFMEMORY;
    return adviseHolder_->Advise(sink, connection);
}

STDMETHODIMP Browser::Unadvise(DWORD connection)
{
    if (!adviseHolder_) return OLE_E_NOCONNECTION;
    return adviseHolder_->Unadvise(connection);
}

STDMETHODIMP Browser::EnumAdvise(IEnumSTATDATA** advise)
{
    if (advise) *advise = nullptr;
    if (!adviseHolder_) return E_FAIL;
    return adviseHolder_->EnumAdvise(advise);
}

STDMETHODIMP Browser::GetMiscStatus(DWORD, DWORD* status)
{
    if (!status) return E_POINTER;
    *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT |
              OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;
    return S_OK;
}

STDMETHODIMP Browser::SetColorScheme(LOGPALETTE*)
{
    return E_NOTIMPL;
}

// --- IOleInPlaceObject and IOleInPlaceActiveObject -------------------------------------------

STDMETHODIMP Browser::GetWindow(HWND* window)
{
    if (!window) return E_POINTER;
    *window = view_.get();
    return *window ? S_OK : E_FAIL;
}

STDMETHODIMP Browser::ContextSensitiveHelp(BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP Browser::InPlaceDeactivate()
{
    if (!inPlaceSite_) return S_OK;
    ComRef<Browser> self(this);
    UIDeactivate();
    if (view_.get()) SetWindowLongPtrW(view_.get(), GWLP_USERDATA, 0);
    view_.reset();
    auto site = std::move(inPlaceSite_);
    inPlaceSite_.reset();
    site->OnInPlaceDeactivate();
    return S_OK;
}

STDMETHODIMP Browser::UIDeactivate()
{
    if (!uiActive_) return S_OK;
    uiActive_ = false;
    if (inPlaceSite_) inPlaceSite_->OnUIDeactivate(FALSE);
    return S_OK;
}

STDMETHODIMP Browser::SetObjectRects(LPCRECT pos, LPCRECT)
{
    if (!pos) return E_POINTER;
    rect_ = *pos;
    placeView();
    return S_OK;
}

STDMETHODIMP Browser::ReactivateAndUndo()
{
    return E_NOTIMPL;
}

STDMETHODIMP Browser::TranslateAccelerator(LPMSG)
{
    return S_FALSE;
}

STDMETHODIMP Browser::OnFrameWindowActivate(BOOL)
{
    return S_OK;
}

STDMETHODIMP Browser::OnDocWindowActivate(BOOL)
{
    return S_OK;
}

STDMETHODIMP Browser::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL)
{
    return S_OK;
}

STDMETHODIMP Browser::EnableModeless(BOOL)
{
    return S_OK;
}

// --- IViewObject2 ---------------------------------------------------------------------------

STDMETHODIMP Browser::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC drawDc, LPCRECTL bounds,
                           LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR)
{
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!drawDc || !bounds) return E_INVALIDARG;
    // Nothing is laid out: the page shows as a plain background.
    const RECT r{bounds->left, bounds->top, bounds->right, bounds->bottom};
    FillRect(drawDc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    return S_OK;
}

STDMETHODIMP Browser::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors)
{
    if (colors) *colors = nullptr;
    return S_FALSE;
}

STDMETHODIMP Browser::Freeze(DWORD, LONG, void*, DWORD*)
{
    return E_NOTIMPL;
}

STDMETHODIMP Browser::Unfreeze(DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP Browser::SetAdvise(DWORD, DWORD, IAdviseSink* sink)
{
    viewSink_ = ComRef<IAdviseSink>(sink);
    return S_OK;
}

STDMETHODIMP Browser::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink)
{
    if (aspects) *aspects = DVASPECT_CONTENT;
    if (flags) *flags = 0;
    if (sink) {
        *sink = viewSink_.get();
        if (*sink) (*sink)->AddRef();
    }
    return S_OK;
}

STDMETHODIMP Browser::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size)
{
    return GetExtent(aspect, size);
}

// --- IPersistStreamInit -----------------------------------------------------------------------

STDMETHODIMP Browser::GetClassID(CLSID* clsid)
{
    if (!clsid) return E_POINTER;
    *clsid = CLSID_WebBrowser;
    return S_OK;
}

STDMETHODIMP Browser::IsDirty()
{
    return S_FALSE;
}

STDMETHODIMP Browser::Load(LPSTREAM stream)
{
    // Whatever state a host saved is read and left aside: the control
    // starts empty either way.
    if (!stream) return E_POINTER;
    char buffer[512];
    ULONG read = 0;
    while (SUCCEEDED(stream->Read(buffer, sizeof(buffer), &read)) && read == sizeof(buffer)) {
    }
    return S_OK;
}

STDMETHODIMP Browser::Save(LPSTREAM stream, BOOL)
{
    return stream ? S_OK : E_POINTER;
}

STDMETHODIMP Browser::GetSizeMax(ULARGE_INTEGER* size)
{
    if (!size) return E_POINTER;
    size->QuadPart = 0;
    return S_OK;
}

STDMETHODIMP Browser::InitNew()
{
    return S_OK;
}

// --- IOleControl --------------------------------------------------------------------------------

STDMETHODIMP Browser::GetControlInfo(CONTROLINFO* info)
{
    if (!info) return E_POINTER;
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

STDMETHODIMP Browser::OnMnemonic(MSG*)
{
    return E_NOTIMPL;
}

STDMETHODIMP Browser::OnAmbientPropertyChange(DISPID)
{
    return S_OK;
}

STDMETHODIMP Browser::FreezeEvents(BOOL)
{
    return S_OK;
}

// --- IProvideClassInfo2 ---------------------------------------------------------------------------

STDMETHODIMP Browser::GetClassInfo(ITypeInfo** info)
{
    if (!info) return E_POINTER;
    *info = nullptr;
    if (!typeLib_) return TYPE_E_CANTLOADLIBRARY;
    return typeLib_->GetTypeInfoOfGuid(CLSID_WebBrowser, info);
}

STDMETHODIMP Browser::GetGUID(DWORD kind, GUID* guid)
{
    if (!guid) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    *guid = __uuidof(DWebBrowserEvents2);
    return S_OK;
}

// --- IConnectionPointContainer ----------------------------------------------------------------------

STDMETHODIMP Browser::EnumConnectionPoints(IEnumConnectionPoints** points)
{
    if (points) *points = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP Browser::FindConnectionPoint(REFIID iid, IConnectionPoint** point)
{
    if (!point) return E_POINTER;
    *point = nullptr;
    if (iid != __uuidof(DWebBrowserEvents2)) return CONNECT_E_NOCONNECTION;
    return HandOut(static_cast<IConnectionPoint*>(&events_), point);
}

}  // namespace htmlengine
