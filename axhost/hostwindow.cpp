#include "axhost/hostwindow.h"

#include "axhost/axhost.h"
#include "axhost/events.h"

#include <commctrl.h>
#include <exdisp.h>

#include <cwchar>

namespace {

constexpr UINT_PTR kSubclassId = 0x41584857;  // one host per window

// {3050F6D0-98B5-11CF-BB82-00AA00BDCE0B}; MinGW's uuid library lacks it.
constexpr IID kIidDocHostUIHandler2 = {0x3050f6d0, 0x98b5, 0x11cf, {0xbb, 0x82, 0x00, 0xaa, 0x00, 0xbd, 0xce, 0x0b}};

template <typename T>
ComPtr<T> QueryAs(IUnknown* object, REFIID iid)
{
    return ComPtr<IUnknown>::Share(object).As<T>(iid);
}

// The frame an in-place control asks for: the host's window, with no
// menus, toolbars or borders to negotiate.
class HostFrame : public ComObjectRoot, public IOleInPlaceFrame {
public:
    explicit HostFrame(HWND window) : window_(window) {}

    IUnknown* InterfaceFor(REFIID iid) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleWindow) ||
            IsEqualIID(iid, IID_IOleInPlaceUIWindow) || IsEqualIID(iid, IID_IOleInPlaceFrame))
            return static_cast<IOleInPlaceFrame*>(this);
        return nullptr;
    }

    STDMETHODIMP GetWindow(HWND* window) override
    {
        if (!window)
            return E_POINTER;
        *window = window_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    HWND window_;
};

SIZEL PixelsToHiMetric(LONG width, LONG height)
{
    constexpr LONG kHiMetricPerInch = 2540;
    HDC screen = GetDC(nullptr);
    const int dpiX = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    const int dpiY = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    return {MulDiv(width, kHiMetricPerInch, dpiX > 0 ? dpiX : 96),
            MulDiv(height, kHiMetricPerInch, dpiY > 0 ? dpiY : 96)};
}

// A control named by text: a class id in braces or a ProgID; anything else
// is an address, shown by a WebBrowser control.
bool ResolveControlName(LPCOLESTR name, CLSID* clsid, bool* isAddress)
{
    *isAddress = false;
    if (name[0] == L'{' && SUCCEEDED(CLSIDFromString(name, clsid)))
        return true;
    if (SUCCEEDED(CLSIDFromProgID(name, clsid)))
        return true;
    *clsid = CLSID_WebBrowser;
    *isAddress = true;
    return true;
}

LPOLESTR CoTaskCopy(const wchar_t* text)
{
    if (!text)
        return nullptr;
    const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (copy)
        memcpy(copy, text, bytes);
    return copy;
}

}  // namespace

CAxHostWindow::CAxHostWindow() : adviseIid_(IID_NULL) {}

CAxHostWindow::~CAxHostWindow()
{
    ReleaseControl();
}

IUnknown* CAxHostWindow::InterfaceFor(REFIID iid)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite))
        return static_cast<IOleClientSite*>(this);
    if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite))
        return static_cast<IOleInPlaceSite*>(this);
    if (IsEqualIID(iid, IID_IDocHostUIHandler) || IsEqualIID(iid, kIidDocHostUIHandler2))
        return static_cast<IDocHostUIHandler2*>(this);
    if (IsEqualIID(iid, IID_IAxWinHostWindow))
        return static_cast<IAxWinHostWindow*>(this);
    return nullptr;
}

HRESULT CAxHostWindow::AttachToWindow(HWND window)
{
    if (!window || !IsWindow(window))
        return E_INVALIDARG;
    if (window_ == window)
        return S_OK;
    if (window_)
        return E_UNEXPECTED;  // a host serves one window
    if (!SetWindowSubclass(window, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        return E_FAIL;
    window_ = window;
    // The window keeps its host: released when the window goes.
    static_cast<IOleClientSite*>(this)->AddRef();
    return S_OK;
}

void CAxHostWindow::Detach()
{
    if (!window_)
        return;
    RemoveWindowSubclass(window_, SubclassProc, kSubclassId);
    window_ = nullptr;
    static_cast<IOleClientSite*>(this)->Release();
}

LRESULT CALLBACK CAxHostWindow::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                             DWORD_PTR self)
{
    return reinterpret_cast<CAxHostWindow*>(self)->OnWindowMessage(window, message, wParam, lParam);
}

LRESULT CAxHostWindow::OnWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == AxGetControlMessage()) {
        if (!control_)
            return 0;
        control_->AddRef();
        return reinterpret_cast<LRESULT>(control_.get());
    }
    if (message == AxGetHostMessage()) {
        IUnknown* host = static_cast<IOleClientSite*>(this);
        host->AddRef();
        return reinterpret_cast<LRESULT>(host);
    }
    switch (message) {
    case WM_SIZE:
        ResizeControl();
        break;
    case WM_SETFOCUS:
        if (oleObject_ && inPlaceActive_) {
            RECT client = {};
            GetClientRect(window, &client);
            oleObject_->DoVerb(OLEIVERB_UIACTIVATE, nullptr, this, 0, window, &client);
        }
        break;
    case WM_DESTROY:
        ReleaseControl();
        break;
    case WM_NCDESTROY: {
        // Keep the object alive until the message has gone through.
        ComPtr<IOleClientSite> self = ComPtr<IOleClientSite>::Share(this);
        LRESULT result = DefSubclassProc(window, message, wParam, lParam);
        Detach();
        return result;
    }
    default:
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

HRESULT CAxHostWindow::ActivateControl(IUnknown* control, IStream* state)
{
    control_ = ComPtr<IUnknown>::Share(control);
    oleObject_ = QueryAs<IOleObject>(control, IID_IOleObject);
    DWORD misc = 0;
    if (oleObject_)
        oleObject_->GetMiscStatus(DVASPECT_CONTENT, &misc);
    const bool siteFirst = (misc & OLEMISC_SETCLIENTSITEFIRST) != 0;
    if (oleObject_ && siteFirst)
        oleObject_->SetClientSite(this);

    HRESULT hr = S_OK;
    if (ComPtr<IPersistStreamInit> persist = QueryAs<IPersistStreamInit>(control, IID_IPersistStreamInit))
        hr = state ? persist->Load(state) : persist->InitNew();
    else if (state)
        if (ComPtr<IPersistStream> stream = QueryAs<IPersistStream>(control, IID_IPersistStream))
            hr = stream->Load(state);
    if (FAILED(hr))
        return hr;

    if (oleObject_ && !siteFirst)
        oleObject_->SetClientSite(this);
    if (oleObject_ && (misc & OLEMISC_INVISIBLEATRUNTIME) == 0) {
        RECT client = {};
        GetClientRect(window_, &client);
        SIZEL extent = PixelsToHiMetric(client.right - client.left, client.bottom - client.top);
        oleObject_->SetExtent(DVASPECT_CONTENT, &extent);
        hr = oleObject_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, window_, &client);
        if (FAILED(hr))
            return hr;
    }
    inPlaceObject_ = QueryAs<IOleInPlaceObject>(control, IID_IOleInPlaceObject);
    return S_OK;
}

void CAxHostWindow::ResizeControl()
{
    if (!inPlaceObject_ || !window_)
        return;
    RECT client = {};
    GetClientRect(window_, &client);
    inPlaceObject_->SetObjectRects(&client, &client);
}

void CAxHostWindow::ReleaseControl()
{
    if (control_ && adviseCookie_) {
        UnadviseConnection(control_.get(), adviseIid_, adviseCookie_);
        adviseCookie_ = 0;
    }
    if (inPlaceObject_ && inPlaceActive_)
        inPlaceObject_->InPlaceDeactivate();
    if (oleObject_) {
        oleObject_->Close(OLECLOSE_NOSAVE);
        oleObject_->SetClientSite(nullptr);
    }
    inPlaceObject_.reset();
    oleObject_.reset();
    control_.reset();
    frame_.reset();
    inPlaceActive_ = false;
}

// --- IOleClientSite --------------------------------------------------------

STDMETHODIMP CAxHostWindow::SaveObject()
{
    return E_NOTIMPL;
}

STDMETHODIMP CAxHostWindow::GetMoniker(DWORD, DWORD, IMoniker** moniker)
{
    if (moniker)
        *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CAxHostWindow::GetContainer(IOleContainer** container)
{
    if (container)
        *container = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CAxHostWindow::ShowObject()
{
    return S_OK;
}

STDMETHODIMP CAxHostWindow::OnShowWindow(BOOL)
{
    return S_OK;
}

STDMETHODIMP CAxHostWindow::RequestNewObjectLayout()
{
    return E_NOTIMPL;
}

// --- IOleInPlaceSite -------------------------------------------------------

STDMETHODIMP CAxHostWindow::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = window_;
    return window_ ? S_OK : E_FAIL;
}

STDMETHODIMP CAxHostWindow::ContextSensitiveHelp(BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP CAxHostWindow::CanInPlaceActivate()
{
    return window_ ? S_OK : S_FALSE;
}

STDMETHODIMP CAxHostWindow::OnInPlaceActivate()
{
    inPlaceActive_ = true;
    if (!inPlaceObject_ && control_)
        inPlaceObject_ = QueryAs<IOleInPlaceObject>(control_.get(), IID_IOleInPlaceObject);
    return S_OK;
}

STDMETHODIMP CAxHostWindow::OnUIActivate()
{
    return S_OK;
}

STDMETHODIMP CAxHostWindow::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                             LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO frameInfo)
{
    if (!frame || !document || !position || !clip || !frameInfo)
        return E_POINTER;
    *frame = nullptr;
    *document = nullptr;  // the document window is the frame
    if (!window_)
        return E_FAIL;
    if (!frame_) {
        ComObject<HostFrame>* made = nullptr;
        if (FAILED(ComObject<HostFrame>::CreateInstance(&made, window_)))
            return E_OUTOFMEMORY;
        frame_ = ComPtr<IOleInPlaceFrame>::Share(made);
    }
    frame_->AddRef();
    *frame = frame_.get();
    GetClientRect(window_, position);
    GetClientRect(window_, clip);
    frameInfo->fMDIApp = FALSE;
    frameInfo->hwndFrame = window_;
    frameInfo->haccel = nullptr;
    frameInfo->cAccelEntries = 0;
    return S_OK;
}

STDMETHODIMP CAxHostWindow::Scroll(SIZE)
{
    return E_NOTIMPL;
}

STDMETHODIMP CAxHostWindow::OnUIDeactivate(BOOL)
{
    return S_OK;
}

STDMETHODIMP CAxHostWindow::OnInPlaceDeactivate()
{
    inPlaceActive_ = false;
    return S_OK;
}

STDMETHODIMP CAxHostWindow::DiscardUndoState()
{
    return S_OK;
}

STDMETHODIMP CAxHostWindow::DeactivateAndUndo()
{
    if (inPlaceObject_)
        return inPlaceObject_->UIDeactivate();
    return S_OK;
}

STDMETHODIMP CAxHostWindow::OnPosRectChange(LPCRECT position)
{
    if (inPlaceObject_ && position)
        return inPlaceObject_->SetObjectRects(position, position);
    return S_OK;
}

// --- IDocHostUIHandler -----------------------------------------------------

STDMETHODIMP CAxHostWindow::ShowContextMenu(DWORD id, POINT* point, IUnknown* commandTarget, IDispatch* object)
{
    if (!uiHandler_)
        return S_FALSE;  // the browser's own menu
    POINT at = point ? *point : POINT{0, 0};
    HRESULT answer = S_FALSE;
    HRESULT hr = uiHandler_->ShowContextMenu(id, static_cast<DWORD>(at.x), static_cast<DWORD>(at.y),
                                             commandTarget, object, &answer);
    return SUCCEEDED(hr) ? answer : hr;
}

STDMETHODIMP CAxHostWindow::GetHostInfo(DOCHOSTUIINFO* info)
{
    if (!info)
        return E_POINTER;
    if (!uiHandler_)
        return E_NOTIMPL;
    DWORD flags = info->dwFlags;
    DWORD doubleClick = info->dwDoubleClick;
    HRESULT hr = uiHandler_->GetHostInfo(&flags, &doubleClick);
    if (SUCCEEDED(hr)) {
        info->dwFlags = flags;
        info->dwDoubleClick = doubleClick;
    }
    return hr;
}

STDMETHODIMP CAxHostWindow::ShowUI(DWORD id, IOleInPlaceActiveObject* activeObject,
                                   IOleCommandTarget* commandTarget, IOleInPlaceFrame* frame,
                                   IOleInPlaceUIWindow* document)
{
    if (!uiHandler_)
        return E_NOTIMPL;
    HRESULT answer = S_FALSE;
    HRESULT hr = uiHandler_->ShowUI(id, activeObject, commandTarget, frame, document, &answer);
    return SUCCEEDED(hr) ? answer : hr;
}

STDMETHODIMP CAxHostWindow::HideUI()
{
    return uiHandler_ ? uiHandler_->HideUI() : E_NOTIMPL;
}

STDMETHODIMP CAxHostWindow::UpdateUI()
{
    return uiHandler_ ? uiHandler_->UpdateUI() : E_NOTIMPL;
}

STDMETHODIMP CAxHostWindow::EnableModeless(BOOL enable)
{
    return uiHandler_ ? uiHandler_->EnableModeless(enable ? VARIANT_TRUE : VARIANT_FALSE) : E_NOTIMPL;
}

STDMETHODIMP CAxHostWindow::OnDocWindowActivate(BOOL activate)
{
    return uiHandler_ ? uiHandler_->OnDocWindowActivate(activate ? VARIANT_TRUE : VARIANT_FALSE) : E_NOTIMPL;
}

STDMETHODIMP CAxHostWindow::OnFrameWindowActivate(BOOL activate)
{
    return uiHandler_ ? uiHandler_->OnFrameWindowActivate(activate ? VARIANT_TRUE : VARIANT_FALSE) : E_NOTIMPL;
}

STDMETHODIMP CAxHostWindow::ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* uiWindow, BOOL frameWindow)
{
    if (!uiHandler_)
        return E_NOTIMPL;
    RECT edges = border ? *border : RECT{0, 0, 0, 0};
    return uiHandler_->ResizeBorder(edges.left, edges.top, edges.right, edges.bottom, uiWindow,
                                    frameWindow ? VARIANT_TRUE : VARIANT_FALSE);
}

STDMETHODIMP CAxHostWindow::TranslateAccelerator(LPMSG message, const GUID* commandGroup, DWORD commandId)
{
    if (!uiHandler_ || !message)
        return E_NOTIMPL;
    wchar_t group[40] = L"";
    if (commandGroup)
        StringFromGUID2(*commandGroup, group, 40);
    BSTR groupText = SysAllocString(group);
    HRESULT answer = S_FALSE;
    HRESULT hr = uiHandler_->TranslateAccelerator(reinterpret_cast<DWORD_PTR>(message->hwnd), message->message,
                                                  static_cast<DWORD_PTR>(message->wParam),
                                                  static_cast<DWORD_PTR>(message->lParam), groupText, commandId,
                                                  &answer);
    SysFreeString(groupText);
    return SUCCEEDED(hr) ? answer : hr;
}

STDMETHODIMP CAxHostWindow::GetOptionKeyPath(LPOLESTR* key, DWORD reserved)
{
    if (!key)
        return E_INVALIDARG;
    *key = nullptr;
    if (!uiHandler_)
        return E_NOTIMPL;
    // The handler allocates the key with CoTaskMemAlloc; it goes to the
    // browser as it is.
    BSTR handed = nullptr;
    HRESULT hr = uiHandler_->GetOptionKeyPath(&handed, reserved);
    *key = handed;
    return hr;
}

STDMETHODIMP CAxHostWindow::GetDropTarget(IDropTarget* dropTarget, IDropTarget** replacement)
{
    if (!replacement)
        return E_POINTER;
    *replacement = nullptr;
    if (!uiHandler_)
        return E_NOTIMPL;
    ComPtr<IUnknown> handed;
    HRESULT hr = uiHandler_->GetDropTarget(dropTarget, handed.out());
    if (FAILED(hr))
        return hr;
    if (!handed)
        return S_FALSE;
    return handed->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(replacement));
}

STDMETHODIMP CAxHostWindow::GetExternal(IDispatch** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    HRESULT hr = uiHandler_ ? uiHandler_->GetExternal(object) : E_NOTIMPL;
    if (SUCCEEDED(hr) && *object)
        return hr;
    if (externalDispatch_) {
        externalDispatch_->AddRef();
        *object = externalDispatch_.get();
        return S_OK;
    }
    return hr;
}

STDMETHODIMP CAxHostWindow::TranslateUrl(DWORD translate, LPWSTR urlIn, LPWSTR* urlOut)
{
    if (!urlOut)
        return E_POINTER;
    *urlOut = nullptr;
    if (!uiHandler_)
        return E_NOTIMPL;
    BSTR in = SysAllocString(urlIn);
    BSTR out = nullptr;
    HRESULT hr = uiHandler_->TranslateUrl(translate, in, &out);
    SysFreeString(in);
    if (out) {
        // The browser frees the translated address with CoTaskMemFree.
        *urlOut = CoTaskCopy(out);
        SysFreeString(out);
    }
    return hr;
}

STDMETHODIMP CAxHostWindow::FilterDataObject(IDataObject* dataObject, IDataObject** replacement)
{
    if (!replacement)
        return E_POINTER;
    *replacement = nullptr;
    if (!uiHandler_)
        return E_NOTIMPL;
    ComPtr<IUnknown> handed;
    HRESULT hr = uiHandler_->FilterDataObject(dataObject, handed.out());
    if (FAILED(hr))
        return hr;
    if (!handed)
        return S_FALSE;
    return handed->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(replacement));
}

STDMETHODIMP CAxHostWindow::GetOverrideKeyPath(LPOLESTR* key, DWORD)
{
    if (key)
        *key = nullptr;
    return E_NOTIMPL;
}

// --- IAxWinHostWindow ------------------------------------------------------

STDMETHODIMP CAxHostWindow::CreateControl(LPCOLESTR name, HWND window, IStream* state)
{
    return CreateControlEx(name, window, state, nullptr, IID_NULL, nullptr);
}

STDMETHODIMP CAxHostWindow::CreateControlEx(LPCOLESTR name, HWND window, IStream* state, IUnknown** control,
                                            REFIID adviseIid, IUnknown* adviseSink)
{
    if (control)
        *control = nullptr;
    if (!name || !*name)
        return E_INVALIDARG;
    HRESULT hr = AttachToWindow(window);
    if (FAILED(hr))
        return hr;
    ReleaseControl();

    CLSID clsid = CLSID_NULL;
    bool isAddress = false;
    ResolveControlName(name, &clsid, &isAddress);
    ComPtr<IUnknown> made;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                          made.out_void());
    if (FAILED(hr) || !made)
        return FAILED(hr) ? hr : E_FAIL;
    hr = ActivateControl(made.get(), state);
    if (FAILED(hr)) {
        ReleaseControl();
        return hr;
    }
    if (isAddress) {
        ComPtr<IWebBrowser2> browser = QueryAs<IWebBrowser2>(made.get(), IID_IWebBrowser2);
        if (!browser)
            return E_NOINTERFACE;
        VARIANT address;
        VariantInit(&address);
        V_VT(&address) = VT_BSTR;
        V_BSTR(&address) = SysAllocString(name);
        if (!V_BSTR(&address))
            return E_OUTOFMEMORY;
        VARIANT empty;
        VariantInit(&empty);
        hr = browser->Navigate2(&address, &empty, &empty, &empty, &empty);
        VariantClear(&address);
        if (FAILED(hr))
            return hr;
    }
    if (!IsEqualIID(adviseIid, IID_NULL) && adviseSink) {
        hr = AdviseConnection(made.get(), adviseSink, adviseIid, &adviseCookie_);
        if (FAILED(hr))
            return hr;
        adviseIid_ = adviseIid;
    }
    if (control)
        *control = made.detach();
    return S_OK;
}

STDMETHODIMP CAxHostWindow::AttachControl(IUnknown* control, HWND window)
{
    if (!control)
        return E_INVALIDARG;
    HRESULT hr = AttachToWindow(window);
    if (FAILED(hr))
        return hr;
    ReleaseControl();
    hr = ActivateControl(control, nullptr);
    if (FAILED(hr))
        ReleaseControl();
    return hr;
}

STDMETHODIMP CAxHostWindow::QueryControl(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!control_)
        return OLE_E_NOCONNECTION;
    return control_->QueryInterface(iid, object);
}

STDMETHODIMP CAxHostWindow::SetExternalDispatch(IDispatch* object)
{
    externalDispatch_ = ComPtr<IDispatch>::Share(object);
    return S_OK;
}

STDMETHODIMP CAxHostWindow::SetExternalUIHandler(IDocHostUIHandlerDispatch* handler)
{
    uiHandler_ = ComPtr<IDocHostUIHandlerDispatch>::Share(handler);
    return S_OK;
}
