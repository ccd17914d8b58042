// The ActiveX hosting layer: a control of our own shows what the host does
// to a control over its life; Wine's WebBrowser shows the host window class
// and the event sink with a real control.
#include <gtest/gtest.h>

#include "axhost/axhost.h"
#include "axhost/axdialog.h"
#include "axhost/events.h"
#include "axhost/hostwindow.h"
#include "axhost/window.h"
#include "helpers.h"

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>

#include <algorithm>
#include <memory>

using hosttest::FakeUIHandler;
using hosttest::PumpUntil;
using hosttest::TestWindow;

namespace {

using Log = std::vector<std::wstring>;

bool Contains(const Log& log, const std::wstring& entry)
{
    return std::find(log.begin(), log.end(), entry) != log.end();
}

ptrdiff_t IndexOf(const Log& log, const std::wstring& entry)
{
    auto found = std::find(log.begin(), log.end(), entry);
    return found == log.end() ? -1 : found - log.begin();
}

std::wstring RectText(const RECT& rect)
{
    return std::to_wstring(rect.left) + L"," + std::to_wstring(rect.top) + L"," + std::to_wstring(rect.right) +
           L"," + std::to_wstring(rect.bottom);
}

// A control that writes down what its container does to it, as a real
// control would be driven: in-place activation asks the site for its
// window context.
class FakeControl : public ComObjectRoot,
                    public IOleObject,
                    public IOleInPlaceObject,
                    public IPersistStreamInit {
public:
    FakeControl(std::shared_ptr<Log> log, DWORD misc) : log_(std::move(log)), misc_(misc) {}
    ~FakeControl() override { log_->push_back(L"deleted"); }

    IUnknown* InterfaceFor(REFIID iid) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleObject))
            return static_cast<IOleObject*>(this);
        if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceObject))
            return static_cast<IOleInPlaceObject*>(this);
        if (IsEqualIID(iid, IID_IPersist) || IsEqualIID(iid, IID_IPersistStreamInit))
            return static_cast<IPersistStreamInit*>(this);
        return nullptr;
    }

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override
    {
        log_->push_back(site ? L"SetClientSite site" : L"SetClientSite null");
        site_ = ComPtr<IOleClientSite>::Share(site);
        return S_OK;
    }
    STDMETHODIMP GetClientSite(IOleClientSite** site) override
    {
        *site = site_.get();
        if (*site)
            (*site)->AddRef();
        return S_OK;
    }
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP Close(DWORD) override
    {
        log_->push_back(L"Close");
        return S_OK;
    }
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT rect) override
    {
        log_->push_back(L"DoVerb " + std::to_wstring(verb) + L" " + RectText(*rect));
        if (verb != OLEIVERB_INPLACEACTIVATE)
            return S_OK;
        ComPtr<IOleInPlaceSite> inPlace = ComPtr<IOleClientSite>::Share(site).As<IOleInPlaceSite>(
            IID_IOleInPlaceSite);
        if (!inPlace || inPlace->CanInPlaceActivate() != S_OK)
            return E_FAIL;
        inPlace->OnInPlaceActivate();
        ComPtr<IOleInPlaceFrame> frame;
        ComPtr<IOleInPlaceUIWindow> document;
        RECT position = {}, clip = {};
        OLEINPLACEFRAMEINFO info = {};
        info.cb = sizeof(info);
        HRESULT hr = inPlace->GetWindowContext(frame.out(), document.out(), &position, &clip, &info);
        HWND siteWindow = nullptr;
        inPlace->GetWindow(&siteWindow);
        HWND frameWindow = nullptr;
        if (frame)
            frame->GetWindow(&frameWindow);
        log_->push_back(L"context " + std::to_wstring(SUCCEEDED(hr)) + L" " + RectText(position) +
                        (siteWindow == parent ? L" site-window" : L" other-window") +
                        (frameWindow == parent ? L" frame-window" : L" no-frame"));
        return S_OK;
    }
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    STDMETHODIMP SetExtent(DWORD, SIZEL*) override { return S_OK; }
    STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    STDMETHODIMP GetMiscStatus(DWORD, DWORD* status) override
    {
        *status = misc_;
        return S_OK;
    }
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleInPlaceObject
    STDMETHODIMP GetWindow(HWND*) override { return E_NOTIMPL; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InPlaceDeactivate() override
    {
        log_->push_back(L"InPlaceDeactivate");
        ComPtr<IOleInPlaceSite> inPlace = site_.As<IOleInPlaceSite>(IID_IOleInPlaceSite);
        if (inPlace)
            inPlace->OnInPlaceDeactivate();
        return S_OK;
    }
    STDMETHODIMP UIDeactivate() override { return S_OK; }
    STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT) override
    {
        log_->push_back(L"SetObjectRects " + RectText(*position));
        return S_OK;
    }
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }

    // IPersistStreamInit
    STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(IStream*) override
    {
        log_->push_back(L"Load");
        return S_OK;
    }
    STDMETHODIMP Save(IStream*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP InitNew() override
    {
        log_->push_back(L"InitNew");
        return S_OK;
    }

private:
    std::shared_ptr<Log> log_;
    DWORD misc_;
    ComPtr<IOleClientSite> site_;
};

class LoggedHost : public CAxHostWindow {
public:
    explicit LoggedHost(std::shared_ptr<Log> log) : log_(std::move(log)) {}
    ~LoggedHost() override { log_->push_back(L"host gone"); }

private:
    std::shared_ptr<Log> log_;
};

ComPtr<IUnknown> MakeFakeControl(const std::shared_ptr<Log>& log, DWORD misc = 0)
{
    ComObject<FakeControl>* control = nullptr;
    ComObject<FakeControl>::CreateInstance(&control, log, misc);
    return ComPtr<IUnknown>::Share(static_cast<IOleObject*>(control));
}

ComPtr<IAxWinHostWindow> MakeHost(const std::shared_ptr<Log>& log)
{
    ComObject<LoggedHost>* host = nullptr;
    ComObject<LoggedHost>::CreateInstance(&host, log);
    return ComPtr<IAxWinHostWindow>::Share(host);
}

template <typename T>
ComPtr<T> QueryAs(IUnknown* object, REFIID iid)
{
    return ComPtr<IUnknown>::Share(object).As<T>(iid);
}

constexpr const wchar_t* kWebBrowserClassText = L"{8856F961-340A-11D0-A96B-00C04FD705A2}";

}  // namespace

TEST(HostLifecycleTest, ActivatesInPlaceFollowsTheWindowAndLetsGoOnDestroy)
{
    auto log = std::make_shared<Log>();
    TestWindow window(300, 200);
    RECT client = {};
    GetClientRect(window.get(), &client);
    {
        ComPtr<IAxWinHostWindow> host = MakeHost(log);
        ComPtr<IUnknown> control = MakeFakeControl(log);
        ASSERT_EQ(S_OK, host->AttachControl(control.get(), window.get()));
    }
    // Without the client-site-first flag the control is initialised first.
    EXPECT_LT(IndexOf(*log, L"InitNew"), IndexOf(*log, L"SetClientSite site"));
    EXPECT_TRUE(Contains(*log, L"DoVerb -5 " + RectText(client)));
    EXPECT_TRUE(Contains(*log, L"context 1 " + RectText(client) + L" site-window frame-window"));

    // The window holds host and control.
    ComPtr<IUnknown> held = AxGetControl(window.get());
    ASSERT_TRUE(held);
    EXPECT_TRUE(QueryAs<IOleObject>(held.get(), IID_IOleObject));
    ComPtr<IUnknown> host = AxGetHost(window.get());
    ASSERT_TRUE(host);
    EXPECT_TRUE(QueryAs<IAxWinHostWindow>(host.get(), IID_IAxWinHostWindow));
    EXPECT_TRUE(QueryAs<IOleInPlaceSite>(host.get(), IID_IOleInPlaceSite));
    held.reset();
    host.reset();

    SetWindowPos(window.get(), nullptr, 0, 0, 400, 260, SWP_NOZORDER | SWP_NOMOVE);
    GetClientRect(window.get(), &client);
    EXPECT_TRUE(Contains(*log, L"SetObjectRects " + RectText(client)));

    DestroyWindow(window.get());
    const ptrdiff_t deactivated = IndexOf(*log, L"InPlaceDeactivate");
    const ptrdiff_t closed = IndexOf(*log, L"Close");
    const ptrdiff_t siteCleared = IndexOf(*log, L"SetClientSite null");
    EXPECT_LT(-1, deactivated);
    EXPECT_LT(deactivated, closed);
    EXPECT_LT(closed, siteCleared);
    EXPECT_TRUE(Contains(*log, L"deleted"));
    EXPECT_TRUE(Contains(*log, L"host gone"));
}

TEST(HostLifecycleTest, ClientSiteFirstWhenTheControlAsks)
{
    auto log = std::make_shared<Log>();
    TestWindow window;
    ComPtr<IAxWinHostWindow> host = MakeHost(log);
    ASSERT_EQ(S_OK, host->AttachControl(MakeFakeControl(log, OLEMISC_SETCLIENTSITEFIRST).get(), window.get()));
    EXPECT_LT(IndexOf(*log, L"SetClientSite site"), IndexOf(*log, L"InitNew"));
}

TEST(HostLifecycleTest, AControlThatIsInvisibleAtRunTimeIsNotActivated)
{
    auto log = std::make_shared<Log>();
    TestWindow window;
    ComPtr<IAxWinHostWindow> host = MakeHost(log);
    ASSERT_EQ(S_OK, host->AttachControl(MakeFakeControl(log, OLEMISC_INVISIBLEATRUNTIME).get(), window.get()));
    EXPECT_TRUE(Contains(*log, L"SetClientSite site"));
    EXPECT_TRUE(std::none_of(log->begin(), log->end(),
                             [](const std::wstring& entry) { return entry.rfind(L"DoVerb", 0) == 0; }));
}

TEST(HostLifecycleTest, ANewControlReplacesTheOldOne)
{
    auto first = std::make_shared<Log>();
    auto second = std::make_shared<Log>();
    TestWindow window;
    ComPtr<IAxWinHostWindow> host = MakeHost(first);
    ASSERT_EQ(S_OK, host->AttachControl(MakeFakeControl(first).get(), window.get()));
    ASSERT_EQ(S_OK, host->AttachControl(MakeFakeControl(second).get(), window.get()));
    EXPECT_TRUE(Contains(*first, L"Close"));
    EXPECT_TRUE(Contains(*first, L"deleted"));
    EXPECT_FALSE(Contains(*second, L"deleted"));
    ComPtr<IOleObject> current;
    ASSERT_EQ(S_OK, host->QueryControl(IID_IOleObject, current.out_void()));
}

TEST(HostLifecycleTest, AHostServesOneWindow)
{
    auto log = std::make_shared<Log>();
    TestWindow one;
    TestWindow other;
    ComPtr<IAxWinHostWindow> host = MakeHost(log);
    ASSERT_EQ(S_OK, host->AttachControl(MakeFakeControl(log).get(), one.get()));
    EXPECT_HRESULT_FAILED(host->AttachControl(MakeFakeControl(log).get(), other.get()));
    EXPECT_EQ(E_INVALIDARG, host->AttachControl(nullptr, one.get()));
}

// --- User-interface questions ----------------------------------------------

class UIHandlerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        log_ = std::make_shared<Log>();
        host_ = MakeHost(log_);
        ASSERT_EQ(S_OK, host_->AttachControl(MakeFakeControl(log_).get(), window_.get()));
        ui_ = QueryAs<IDocHostUIHandler>(host_.get(), IID_IDocHostUIHandler);
        ASSERT_TRUE(ui_);
        ComObject<FakeUIHandler>::CreateInstance(&handler_);
        handlerHold_ = ComPtr<IUnknown>::Share(static_cast<IDocHostUIHandlerDispatch*>(handler_));
    }

    std::shared_ptr<Log> log_;
    TestWindow window_;
    ComPtr<IAxWinHostWindow> host_;
    ComPtr<IDocHostUIHandler> ui_;
    ComObject<FakeUIHandler>* handler_ = nullptr;
    ComPtr<IUnknown> handlerHold_;
};

TEST_F(UIHandlerTest, WithoutHandlerTheBrowserKeepsItsDefaults)
{
    POINT at = {5, 6};
    EXPECT_EQ(S_FALSE, ui_->ShowContextMenu(CONTEXT_MENU_DEFAULT, &at, nullptr, nullptr));
    DOCHOSTUIINFO info = {};
    info.cbSize = sizeof(info);
    EXPECT_HRESULT_FAILED(ui_->GetHostInfo(&info));
    LPOLESTR key = reinterpret_cast<LPOLESTR>(1);
    EXPECT_HRESULT_FAILED(ui_->GetOptionKeyPath(&key, 0));
    EXPECT_EQ(nullptr, key);
    IDispatch* external = reinterpret_cast<IDispatch*>(1);
    EXPECT_HRESULT_FAILED(ui_->GetExternal(&external));
    EXPECT_EQ(nullptr, external);
}

TEST_F(UIHandlerTest, EachQuestionGoesToTheHandler)
{
    ASSERT_EQ(S_OK, host_->SetExternalUIHandler(handler_));

    POINT at = {30, 40};
    handler_->menuAnswer = S_OK;
    EXPECT_EQ(S_OK, ui_->ShowContextMenu(CONTEXT_MENU_TEXTSELECT, &at, nullptr, nullptr));
    handler_->menuAnswer = S_FALSE;
    EXPECT_EQ(S_FALSE, ui_->ShowContextMenu(CONTEXT_MENU_CONTROL, &at, nullptr, nullptr));

    DOCHOSTUIINFO info = {};
    info.cbSize = sizeof(info);
    EXPECT_EQ(S_OK, ui_->GetHostInfo(&info));
    EXPECT_EQ(12u, info.dwFlags);

    LPOLESTR key = nullptr;
    EXPECT_EQ(S_OK, ui_->GetOptionKeyPath(&key, 0));
    ASSERT_NE(nullptr, key);
    EXPECT_STREQ(L"Software\\test", key);
    CoTaskMemFree(key);

    RECT border = {1, 2, 3, 4};
    EXPECT_EQ(S_OK, ui_->ResizeBorder(&border, nullptr, TRUE));
    EXPECT_EQ(E_NOTIMPL, ui_->HideUI());
    EXPECT_EQ(E_NOTIMPL, ui_->UpdateUI());
    MSG message = {};
    message.message = WM_KEYDOWN;
    EXPECT_EQ(S_FALSE, ui_->TranslateAccelerator(&message, nullptr, 0));

    const Log expected = {L"ShowContextMenu 4 30,40",     L"ShowContextMenu 2 30,40", L"GetHostInfo",
                          L"GetOptionKeyPath",            L"ResizeBorder 1,2,3,4",    L"HideUI",
                          L"UpdateUI",                    L"TranslateAccelerator 256"};
    EXPECT_EQ(expected, handler_->questions);
}

TEST_F(UIHandlerTest, ExternalObjectFromTheHandlerOrElseTheHost)
{
    ASSERT_EQ(S_OK, host_->SetExternalUIHandler(handler_));
    IDispatch* external = nullptr;
    EXPECT_HRESULT_FAILED(ui_->GetExternal(&external));
    EXPECT_EQ(nullptr, external);

    ComObject<hosttest::FakeScript>* fromHost = nullptr;
    ComObject<hosttest::FakeScript>::CreateInstance(&fromHost);
    ComPtr<IDispatch> hostObject = ComPtr<IDispatch>::Share(fromHost);
    host_->SetExternalDispatch(hostObject.get());
    ASSERT_EQ(S_OK, ui_->GetExternal(&external));
    EXPECT_EQ(hostObject.get(), external);
    external->Release();

    ComObject<hosttest::FakeScript>* fromHandler = nullptr;
    ComObject<hosttest::FakeScript>::CreateInstance(&fromHandler);
    handler_->external = ComPtr<IDispatch>::Share(fromHandler);
    ASSERT_EQ(S_OK, ui_->GetExternal(&external));
    EXPECT_EQ(handler_->external.get(), external);
    external->Release();
}

TEST_F(UIHandlerTest, PlainHostHasNoOverrideKey)
{
    ComPtr<IDocHostUIHandler2> ui2 = QueryAs<IDocHostUIHandler2>(
        host_.get(), {0x3050f6d0, 0x98b5, 0x11cf, {0xbb, 0x82, 0x00, 0xaa, 0x00, 0xbd, 0xce, 0x0b}});
    ASSERT_TRUE(ui2);
    LPOLESTR key = reinterpret_cast<LPOLESTR>(1);
    EXPECT_EQ(E_NOTIMPL, ui2->GetOverrideKeyPath(&key, 0));
    EXPECT_EQ(nullptr, key);
}

// --- The host window class with Wine's WebBrowser ---------------------------

class BrowserEventsSink : public ComObjectRoot, public WebBrowserEvents {
public:
    IUnknown* InterfaceFor(REFIID iid) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            IsEqualIID(iid, DIID_DWebBrowserEvents2))
            return EventDispatch();
        return nullptr;
    }
    HRESULT BeforeNavigate2(IDispatch*, VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*,
                            VARIANT_BOOL* cancel) override
    {
        events.push_back(L"BeforeNavigate2 " + Text(url));
        cancelSeen = cancel != nullptr;
        return S_OK;
    }
    HRESULT NavigateError(IDispatch*, VARIANT* url, VARIANT*, VARIANT* status, VARIANT_BOOL* cancel) override
    {
        events.push_back(L"NavigateError " + Text(url));
        statusCode = status && V_VT(status) == VT_I4 ? V_I4(status) : 0;
        cancelSeen = cancelSeen && cancel != nullptr;
        return S_OK;
    }
    HRESULT Connect(IUnknown* control)
    {
        HRESULT hr = ReadSourceInterface(control);
        return SUCCEEDED(hr) ? AdviseTo(control) : hr;
    }
    HRESULT Disconnect(IUnknown* control) { return UnadviseFrom(control); }

    static std::wstring Text(VARIANT* value)
    {
        return value && V_VT(value) == VT_BSTR && V_BSTR(value) ? V_BSTR(value) : L"?";
    }

    Log events;
    LONG statusCode = 0;
    bool cancelSeen = false;
};

class HostWindowClassTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(AxWinInit()); }
    TestWindow parent_{400, 300};
};

TEST_F(HostWindowClassTest, TheWindowTextNamesTheControl)
{
    for (const wchar_t* className : {kAxHostWindowClass, kAxHostLicWindowClass}) {
        HWND window = CreateWindowExW(0, className, kWebBrowserClassText, WS_CHILD | WS_VISIBLE, 0, 0, 200, 100,
                                      parent_.get(), nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, window) << className;
        ComPtr<IUnknown> control = AxGetControl(window);
        ASSERT_TRUE(control);
        EXPECT_TRUE(QueryAs<IWebBrowser2>(control.get(), IID_IWebBrowser2));
        ComPtr<IUnknown> host = AxGetHost(window);
        EXPECT_TRUE(QueryAs<IAxWinHostWindow>(host.get(), IID_IAxWinHostWindow));
        DestroyWindow(window);
    }
}

TEST_F(HostWindowClassTest, NoTextGivesAHostWithoutControlAndABadClassNoWindow)
{
    HWND empty = CreateWindowExW(0, kAxHostWindowClass, L"", WS_CHILD, 0, 0, 10, 10, parent_.get(), nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(nullptr, empty);
    EXPECT_FALSE(AxGetControl(empty));
    ComPtr<IUnknown> host = AxGetHost(empty);
    ASSERT_TRUE(host);
    ComPtr<IAxWinHostWindow> hostWindow = QueryAs<IAxWinHostWindow>(host.get(), IID_IAxWinHostWindow);
    ASSERT_EQ(S_OK, hostWindow->CreateControl(kWebBrowserClassText, empty, nullptr));
    EXPECT_TRUE(AxGetControl(empty));
    DestroyWindow(empty);

    EXPECT_EQ(nullptr, CreateWindowExW(0, kAxHostWindowClass, L"{00000000-0000-0000-0000-00000000ABCD}",
                                       WS_CHILD, 0, 0, 10, 10, parent_.get(), nullptr, nullptr, nullptr));
    // A plain window answers neither message.
    EXPECT_FALSE(AxGetControl(parent_.get()));
    EXPECT_FALSE(AxGetHost(parent_.get()));
}

TEST_F(HostWindowClassTest, TheBrowsersDefaultSourceIsItsEventInterface)
{
    HWND window = CreateWindowExW(0, kAxHostWindowClass, kWebBrowserClassText, WS_CHILD | WS_VISIBLE, 0, 0, 200,
                                  100, parent_.get(), nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    ComPtr<IUnknown> control = AxGetControl(window);
    GUID library = GUID_NULL;
    IID source = IID_NULL;
    WORD major = 0, minor = 0;
    ASSERT_EQ(S_OK, GetObjectSourceInterface(control.get(), &library, &source, &major, &minor));
    EXPECT_TRUE(IsEqualIID(DIID_DWebBrowserEvents2, source));
    DestroyWindow(window);
}

TEST_F(HostWindowClassTest, AnAddressIsNavigatedAndItsEventsReachTheOverrides)
{
    ComObject<BrowserEventsSink>* sink = nullptr;
    ComObject<BrowserEventsSink>::CreateInstance(&sink);
    ComPtr<IDispatch> hold = ComPtr<IDispatch>::Share(sink->EventDispatch());

    HWND window = CreateWindowExW(0, kAxHostWindowClass, kWebBrowserClassText, WS_CHILD | WS_VISIBLE, 0, 0, 200,
                                  100, parent_.get(), nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    ComPtr<IUnknown> control = AxGetControl(window);
    ASSERT_EQ(S_OK, sink->Connect(control.get()));
    EXPECT_NE(WebBrowserEvents::kNotAdvised, sink->Cookie());

    // Nothing listens on this port: the navigation fails.
    ComPtr<IAxWinHostWindow> host = QueryAs<IAxWinHostWindow>(AxGetHost(window).get(), IID_IAxWinHostWindow);
    const wchar_t* address = L"http://127.0.0.1:9/nothing.html";
    ComPtr<IUnknown> second;
    ASSERT_EQ(S_OK, host->CreateControlEx(address, window, nullptr, second.out(), IID_NULL, nullptr));
    // The new control replaced the old one; advise to the new one.
    ComObject<BrowserEventsSink>* sink2 = nullptr;
    ComObject<BrowserEventsSink>::CreateInstance(&sink2);
    ComPtr<IDispatch> hold2 = ComPtr<IDispatch>::Share(sink2->EventDispatch());
    ASSERT_EQ(S_OK, sink2->Connect(second.get()));
    ComPtr<IWebBrowser2> browser = QueryAs<IWebBrowser2>(second.get(), IID_IWebBrowser2);
    VARIANT url;
    VariantInit(&url);
    V_VT(&url) = VT_BSTR;
    V_BSTR(&url) = SysAllocString(address);
    VARIANT empty;
    VariantInit(&empty);
    ASSERT_EQ(S_OK, browser->Navigate2(&url, &empty, &empty, &empty, &empty));
    VariantClear(&url);

    ASSERT_TRUE(PumpUntil([&] { return Contains(sink2->events, std::wstring(L"NavigateError ") + address); },
                          15000));
    EXPECT_TRUE(Contains(sink2->events, std::wstring(L"BeforeNavigate2 ") + address));
    EXPECT_NE(0, sink2->statusCode);
    EXPECT_TRUE(sink2->cancelSeen);

    EXPECT_EQ(S_OK, sink2->Disconnect(second.get()));
    EXPECT_EQ(WebBrowserEvents::kNotAdvised, sink2->Cookie());
    DestroyWindow(window);
}

// --- A window implemented by an object ---------------------------------------

class RecordingWindow : public WindowImpl {
public:
    bool ProcessWindowMessage(HWND window, UINT message, WPARAM, LPARAM lParam, LRESULT& result,
                              DWORD mapId) override
    {
        if (message == WM_CREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            createParam = create->lpCreateParams;
            sawOwnWindow = window == Window();
            mapIds.push_back(mapId);
            result = 0;
            return true;
        }
        if (message == WM_USER + 7) {
            result = 1234;
            return true;
        }
        if (message == WM_CLOSE)
            closes++;
        return false;  // default processing: WM_CLOSE destroys
    }
    void OnFinalMessage(HWND window) override
    {
        finalWindow = window;
        boundAfterEnd = WindowImpl::FromWindow(window) != nullptr;
    }

    void* createParam = nullptr;
    bool sawOwnWindow = false;
    std::vector<DWORD> mapIds;
    int closes = 0;
    HWND finalWindow = nullptr;
    bool boundAfterEnd = true;
};

TEST(WindowImplTest, MessagesReachTheObjectUntilTheLastOne)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    ASSERT_TRUE(WindowImpl::RegisterWindowClass(L"HostTestImpl", CS_DBLCLKS, instance));
    ASSERT_TRUE(WindowImpl::RegisterWindowClass(L"HostTestImpl", CS_DBLCLKS, instance));  // again: fine
    RecordingWindow object;
    int marker = 0;
    RECT rect = {0, 0, 100, 80};
    HWND window = object.Create(L"HostTestImpl", nullptr, rect, L"impl", WS_POPUP, 0, instance, nullptr, &marker);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(window, object.Window());
    EXPECT_EQ(&marker, object.createParam);
    EXPECT_TRUE(object.sawOwnWindow);
    EXPECT_EQ(std::vector<DWORD>{0}, object.mapIds);
    EXPECT_EQ(&object, WindowImpl::FromWindow(window));
    EXPECT_EQ(1234, SendMessageW(window, WM_USER + 7, 0, 0));
    wchar_t text[16] = {};
    GetWindowTextW(window, text, 16);
    EXPECT_STREQ(L"impl", text);

    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(1, object.closes);
    EXPECT_EQ(window, object.finalWindow);
    EXPECT_FALSE(object.boundAfterEnd);
    EXPECT_EQ(nullptr, object.Window());
}

// --- Dialogs with controls ---------------------------------------------------

namespace {

struct DialogSeen {
    bool browser = false;
    bool hostWindow = false;
    bool text = false;
};

INT_PTR CALLBACK RecordingDialogProc(HWND dialog, UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_INITDIALOG)
        return FALSE;
    auto* seen = reinterpret_cast<DialogSeen*>(lParam);
    HWND item = GetDlgItem(dialog, 1002);
    wchar_t className[32] = {};
    if (item)
        GetClassNameW(item, className, 32);
    seen->hostWindow = wcscmp(className, L"AtlAxWin140") == 0;
    ComPtr<IUnknown> control = AxGetControl(item);
    seen->browser = control && QueryAs<IWebBrowser2>(control.get(), IID_IWebBrowser2);
    seen->text = GetDlgItem(dialog, 7) != nullptr;
    EndDialog(dialog, seen->hostWindow ? 7 : 8);
    return TRUE;
}

}  // namespace

TEST(AxDialogTest, ClassIdItemsBecomeHostedControls)
{
    DialogSeen seen;
    EXPECT_EQ(7, AxDialogBox(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(101), nullptr, RecordingDialogProc,
                             reinterpret_cast<LPARAM>(&seen)));
    EXPECT_TRUE(seen.hostWindow);
    EXPECT_TRUE(seen.browser);
}

TEST(AxDialogTest, OtherDialogsAreShownAsTheyAre)
{
    DialogSeen seen;
    EXPECT_EQ(8, AxDialogBox(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(102), nullptr, RecordingDialogProc,
                             reinterpret_cast<LPARAM>(&seen)));
    EXPECT_TRUE(seen.text);
    EXPECT_EQ(-1, AxDialogBox(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(999), nullptr, RecordingDialogProc, 0));
}
