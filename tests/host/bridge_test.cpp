// The page bridge below the page: how calls reach a page's script object,
// what the browser sinks answer and post, and how hosts and sinks are wired.
#include <gtest/gtest.h>

#include "axhost/axhost.h"
#include "helpers.h"
#include "host/browserhost.h"
#include "host/pagecall.h"
#include "host/pagefeed.h"
#include "host/sinks.h"
#include "shell/errorlog.h"
#include "shell/instance.h"

#include <exdisp.h>
#include <mshtmhst.h>
#include <ocidl.h>
#include <olectl.h>

using hosttest::FakeScript;
using hosttest::PumpUntil;
using hosttest::TestWindow;

namespace {

template <typename T>
ComPtr<T> QueryAs(IUnknown* object, REFIID iid)
{
    return ComPtr<IUnknown>::Share(object).As<T>(iid);
}

ComPtr<IWebBrowser2> MakeBrowser()
{
    ComPtr<IWebBrowser2> browser;
    CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IWebBrowser2, browser.out_void());
    return browser;
}

struct Script {
    Script()
    {
        ComObject<FakeScript>::CreateInstance(&object);
        hold = ComPtr<IDispatch>::Share(object);
    }
    ComObject<FakeScript>* object = nullptr;
    ComPtr<IDispatch> hold;
};

template <class Sink>
struct SinkHolder {
    SinkHolder()
    {
        ComObject<Sink>::CreateInstance(&sink);
        hold = ComPtr<IDispatch>::Share(sink->EventDispatch());
    }
    ComObject<Sink>* sink = nullptr;
    ComPtr<IDispatch> hold;
    Sink* operator->() { return sink; }
};

bool Logged(const std::wstring& message)
{
    for (const std::wstring& logged : LoggedMessages())
        if (logged == message)
            return true;
    return false;
}

VARIANT Bstr(const wchar_t* text)
{
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = SysAllocString(text);
    return value;
}

bool DocCompletedWaiting(HWND window)
{
    MSG message;
    return PeekMessageW(&message, window, WM_DOC_COMPLETED, WM_DOC_COMPLETED, PM_REMOVE) != 0;
}

// A control whose connection point refuses every sink, after writing a
// cookie of its own as some connection points do.
class RefusingEventSource : public ComObjectRoot,
                            public IProvideClassInfo2,
                            public IConnectionPointContainer,
                            public IConnectionPoint {
public:
    IUnknown* InterfaceFor(REFIID iid) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IConnectionPointContainer))
            return static_cast<IConnectionPointContainer*>(this);
        if (IsEqualIID(iid, IID_IProvideClassInfo) || IsEqualIID(iid, IID_IProvideClassInfo2))
            return static_cast<IProvideClassInfo2*>(this);
        return nullptr;
    }
    STDMETHODIMP GetClassInfo(ITypeInfo** info) override
    {
        *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override
    {
        if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID)
            return E_INVALIDARG;
        *guid = DIID_DWebBrowserEvents2;
        return S_OK;
    }
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID, IConnectionPoint** point) override
    {
        *point = this;
        (*point)->AddRef();
        return S_OK;
    }
    STDMETHODIMP GetConnectionInterface(IID* iid) override
    {
        *iid = DIID_DWebBrowserEvents2;
        return S_OK;
    }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override
    {
        *container = this;
        (*container)->AddRef();
        return S_OK;
    }
    STDMETHODIMP Advise(IUnknown*, DWORD* cookie) override
    {
        ++advises;
        *cookie = 0;
        return CONNECT_E_ADVISELIMIT;
    }
    STDMETHODIMP Unadvise(DWORD) override { return CONNECT_E_NOCONNECTION; }
    STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

    int advises = 0;
};

// A host that refuses to take a user-interface handler.
class RefusingHost : public CAxHostWindow {
public:
    STDMETHODIMP SetExternalUIHandler(IDocHostUIHandlerDispatch*) override { return E_ACCESSDENIED; }
};

}  // namespace

// --- ExecuteScript -----------------------------------------------------------

class ExecuteScriptTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearLoggedMessages();
        browser_ = MakeBrowser();
        ASSERT_TRUE(browser_);
    }
    ComPtr<IWebBrowser2> browser_;
    Script script_;
};

TEST_F(ExecuteScriptTest, ArgumentsReachThePageInParameterOrder)
{
    PageArgs args;
    args.Uint(77).Text(L"two").Bool(true).Text(nullptr).Bool(false);
    VARIANT result;
    VariantInit(&result);
    ASSERT_TRUE(ExecuteScript(L"inMsgBox", args.Data(), args.Count(), browser_.get(), &result,
                              script_.object));
    ASSERT_EQ(1u, script_.object->calls.size());
    const FakeScript::Call& call = script_.object->calls[0];
    EXPECT_EQ(L"inMsgBox", call.name);
    const std::vector<std::wstring> expected = {L"u:77", L"s:two", L"b:-1", L"s:", L"b:0"};
    EXPECT_EQ(expected, call.args);
    EXPECT_EQ(DISPATCH_METHOD, call.flags);
    EXPECT_EQ(0u, call.lcid);
    EXPECT_TRUE(call.iidNull);
    EXPECT_FALSE(call.namedArgs);
    EXPECT_EQ(0xFFFFFFFFu, call.argErrorPreset);
    EXPECT_EQ(std::vector<LCID>{0x800}, script_.object->lookupLocales);
    VariantClear(&result);
}

TEST_F(ExecuteScriptTest, NoArgumentsAndTheResultComesBack)
{
    script_.object->returns = [](VARIANT* result) {
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = SysAllocString(L"skin");
    };
    VARIANT result;
    VariantInit(&result);
    ASSERT_TRUE(ExecuteScript(L"inSkinInfo", nullptr, 0, browser_.get(), &result, script_.object));
    EXPECT_TRUE(script_.object->calls[0].args.empty());
    EXPECT_EQ(L"s:skin", hosttest::Describe(result));
    VariantClear(&result);
}

TEST_F(ExecuteScriptTest, OtherKindsAreRefusedWithoutCallingOrLogging)
{
    VARIANT args[2];
    VariantInit(&args[0]);
    V_VT(&args[0]) = VT_UINT;
    V_UINT(&args[0]) = 1;
    VariantInit(&args[1]);
    V_VT(&args[1]) = VT_I4;
    V_I4(&args[1]) = 2;
    VARIANT result;
    VariantInit(&result);
    EXPECT_FALSE(ExecuteScript(L"inMsgBox", args, 2, browser_.get(), &result, script_.object));
    EXPECT_TRUE(script_.object->calls.empty());
    EXPECT_TRUE(LoggedMessages().empty());
}

TEST_F(ExecuteScriptTest, FailuresAreLoggedAndReportedFalse)
{
    VARIANT result;
    VariantInit(&result);
    EXPECT_FALSE(ExecuteScript(L"inNothing", nullptr, 0, browser_.get(), &result, script_.object));
    EXPECT_TRUE(Logged(L"ExecuteScript: GetIDsOfNames returned 0x80020006"));

    script_.object->invokeAnswer = DISP_E_EXCEPTION;
    EXPECT_FALSE(ExecuteScript(L"inRender", nullptr, 0, browser_.get(), &result, script_.object));
    EXPECT_TRUE(Logged(L"ExecuteScript: Invoke returned 0x80020009"));

    script_.object->invokeAnswer = S_FALSE;  // only S_OK counts
    EXPECT_FALSE(ExecuteScript(L"inRender", nullptr, 0, browser_.get(), &result, script_.object));

    // Without a script object the browser's document is asked: it has none.
    EXPECT_FALSE(ExecuteScript(L"inRender", nullptr, 0, browser_.get(), &result, nullptr));
    EXPECT_TRUE(Logged(L"ExecuteScript: cannot obtain DOM's script object"));

    EXPECT_FALSE(ExecuteScript(nullptr, nullptr, 0, browser_.get(), &result, script_.object));
    EXPECT_FALSE(ExecuteScript(L"inRender", nullptr, 0, nullptr, &result, script_.object));
}

TEST(GetIntPropertyTest, ReadsAnIntegerPropertyOfAPageObject)
{
    Script object;
    object.object->functions = {L"width", L"height"};
    object.object->returns = [](VARIANT* result) {
        V_VT(result) = VT_BSTR;  // converted to an integer
        V_BSTR(result) = SysAllocString(L"320");
    };
    int32_t value = 0;
    ASSERT_TRUE(GetIntProperty(object.object, L"width", &value));
    EXPECT_EQ(320, value);
    EXPECT_EQ(DISPATCH_PROPERTYGET, object.object->calls[0].flags);
    EXPECT_FALSE(GetIntProperty(object.object, L"depth", &value));
    object.object->returns = [](VARIANT* result) {
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = SysAllocString(L"wide");
    };
    EXPECT_FALSE(GetIntProperty(object.object, L"height", &value));
}

// --- The browser sink ----------------------------------------------------------

class BrowserSinkTest : public ::testing::Test {
protected:
    SinkHolder<CBrowserSink> sink_;
    TestWindow notify_{100, 100, false};
};

TEST_F(BrowserSinkTest, CompletedDocumentsArePostedExceptTheBlankPage)
{
    sink_->SetNotifyWindow(notify_.get());
    MSG stale;
    while (PeekMessageW(&stale, notify_.get(), 0, 0, PM_REMOVE)) {
    }

    VARIANT url = Bstr(L"about:blank");
    EXPECT_EQ(S_OK, sink_->DocumentComplete(nullptr, &url));
    EXPECT_FALSE(DocCompletedWaiting(notify_.get()));
    VariantClear(&url);

    url = Bstr(L"");
    sink_->DocumentComplete(nullptr, &url);
    EXPECT_FALSE(DocCompletedWaiting(notify_.get()));
    VariantClear(&url);

    url = Bstr(L"ABOUT:BLANK");
    sink_->DocumentComplete(nullptr, &url);
    EXPECT_TRUE(DocCompletedWaiting(notify_.get()));
    VariantClear(&url);

    url = Bstr(L"res://c:/thm1.tmp/html/main.html");
    sink_->DocumentComplete(nullptr, &url);
    EXPECT_TRUE(DocCompletedWaiting(notify_.get()));
    VariantClear(&url);

    EXPECT_EQ(E_POINTER, sink_->DocumentComplete(nullptr, nullptr));
}

TEST_F(BrowserSinkTest, NotifyWindowIsSetOnceAndNeverToNull)
{
    sink_->SetNotifyWindow(nullptr);
    EXPECT_EQ(nullptr, sink_->NotifyWindow());
    sink_->SetNotifyWindow(notify_.get());
    TestWindow other;
    sink_->SetNotifyWindow(other.get());
    EXPECT_EQ(notify_.get(), sink_->NotifyWindow());
}

TEST_F(BrowserSinkTest, UserInterfaceAnswers)
{
    HRESULT result = E_FAIL;
    EXPECT_EQ(S_OK, sink_->ShowContextMenu(CONTEXT_MENU_CONTROL, 1, 2, nullptr, nullptr, &result));
    EXPECT_EQ(S_FALSE, result);
    EXPECT_EQ(S_OK, sink_->ShowContextMenu(CONTEXT_MENU_IMAGE, 1, 2, nullptr, nullptr, &result));
    EXPECT_EQ(S_OK, result);
    EXPECT_EQ(S_OK, sink_->ShowContextMenu(CONTEXT_MENU_DEFAULT, 1, 2, nullptr, nullptr, &result));
    EXPECT_EQ(S_OK, result);
    // Selected text without a window to own the menu: no menu, nothing shown.
    EXPECT_EQ(S_OK, sink_->ShowContextMenu(CONTEXT_MENU_TEXTSELECT, 1, 2, nullptr, nullptr, &result));
    EXPECT_EQ(S_OK, result);

    DWORD flags = 0;
    DWORD doubleClick = 77;
    EXPECT_EQ(S_OK, sink_->GetHostInfo(&flags, &doubleClick));
    EXPECT_EQ(12u, flags);
    EXPECT_EQ(77u, doubleClick);

    BSTR key = nullptr;
    EXPECT_EQ(S_OK, sink_->GetOptionKeyPath(&key, 0));
    ASSERT_NE(nullptr, key);
    EXPECT_STREQ(L"Software\\zel\\bro", key);
    CoTaskMemFree(key);
    EXPECT_EQ(E_INVALIDARG, sink_->GetOptionKeyPath(nullptr, 0));

    EXPECT_EQ(E_NOTIMPL, sink_->ShowUI(0, nullptr, nullptr, nullptr, nullptr, &result));
    EXPECT_EQ(E_NOTIMPL, sink_->HideUI());
    EXPECT_EQ(E_NOTIMPL, sink_->TranslateAccelerator(0, 0, 0, 0, nullptr, 0, &result));
    EXPECT_EQ(E_NOTIMPL, sink_->GetDropTarget(nullptr, nullptr));
    EXPECT_EQ(E_NOTIMPL, sink_->TranslateUrl(0, nullptr, nullptr));
}

TEST_F(BrowserSinkTest, ExternalObjectOnlyWhenSet)
{
    IDispatch* external = reinterpret_cast<IDispatch*>(1);
    EXPECT_EQ(E_NOTIMPL, sink_->GetExternal(&external));
    EXPECT_EQ(nullptr, external);
    Script object;
    sink_->SetExternal(object.object);
    ASSERT_EQ(S_OK, sink_->GetExternal(&external));
    EXPECT_EQ(static_cast<IDispatch*>(object.object), external);
    external->Release();
}

TEST_F(BrowserSinkTest, InterfacesOfTheSink)
{
    ComPtr<IDispatch> events;
    ASSERT_EQ(S_OK, sink_.hold->QueryInterface(DIID_DWebBrowserEvents2, events.out_void()));
    ComPtr<IUnknown> identity;
    sink_.hold->QueryInterface(IID_IUnknown, identity.out_void());
    EXPECT_EQ(static_cast<IUnknown*>(events.get()), identity.get());
    ComPtr<IDocHostUIHandlerDispatch> handler;
    EXPECT_EQ(S_OK, sink_.hold->QueryInterface(IID_IDocHostUIHandlerDispatch, handler.out_void()));
    EXPECT_NE(static_cast<void*>(handler.get()), static_cast<void*>(events.get()));
}

TEST_F(BrowserSinkTest, OptionLoadNeedsNameAndValue)
{
    EXPECT_FALSE(sink_->inOptionLoad(nullptr, L"v"));
    EXPECT_FALSE(sink_->inOptionLoad(L"n", nullptr));
}

TEST_F(BrowserSinkTest, AdviseNeedsABrowserAndIsRefusedTwice)
{
    ComPtr<IWebBrowser2> browser = MakeBrowser();
    ASSERT_TRUE(browser);
    EXPECT_FALSE(sink_->Advise(browser.get()));
    EXPECT_EQ(WebBrowserEvents::kNotAdvised, sink_->Cookie());
    EXPECT_EQ(nullptr, sink_->Control());

    sink_->SetBrowser(browser.get());
    ASSERT_TRUE(sink_->Advise(browser.get()));
    EXPECT_NE(WebBrowserEvents::kNotAdvised, sink_->Cookie());
    EXPECT_EQ(static_cast<IUnknown*>(browser.get()), sink_->Control());
    EXPECT_TRUE(IsEqualIID(DIID_DWebBrowserEvents2, sink_->EventIid()));
    const DWORD cookie = sink_->Cookie();

    ComPtr<IWebBrowser2> other = MakeBrowser();
    EXPECT_FALSE(sink_->Advise(other.get()));
    EXPECT_EQ(cookie, sink_->Cookie());
    EXPECT_EQ(static_cast<IUnknown*>(browser.get()), sink_->Control());

    EXPECT_EQ(S_OK, sink_->Unadvise());
    EXPECT_EQ(WebBrowserEvents::kNotAdvised, sink_->Cookie());
    EXPECT_EQ(nullptr, sink_->Control());
    EXPECT_EQ(browser.get(), sink_->Browser());
    ASSERT_TRUE(sink_->Advise(browser.get()));  // and again after an unadvise
    sink_->Unadvise();
}

TEST_F(BrowserSinkTest, ARefusedAdviseLeavesTheSinkNotAdvised)
{
    ComPtr<IWebBrowser2> browser = MakeBrowser();
    ASSERT_TRUE(browser);
    sink_->SetBrowser(browser.get());
    ComObject<RefusingEventSource>* source = nullptr;
    ComObject<RefusingEventSource>::CreateInstance(&source);
    ComPtr<IUnknown> control = ComPtr<IUnknown>::Share(static_cast<IConnectionPointContainer*>(source));

    EXPECT_FALSE(sink_->Advise(control.get()));
    EXPECT_EQ(1, source->advises);
    EXPECT_EQ(WebBrowserEvents::kNotAdvised, sink_->Cookie());
    // So it is not taken for advised: the next advise is tried.
    EXPECT_FALSE(sink_->Advise(control.get()));
    EXPECT_EQ(2, source->advises);
    ASSERT_TRUE(sink_->Advise(browser.get()));
    sink_->Unadvise();
}

// --- Hosts and sinks ---------------------------------------------------------

class HostWiringTest : public ::testing::Test {
protected:
    void SetUp() override { ClearLoggedMessages(); }
    TestWindow parent_{300, 200};
};

TEST_F(HostWiringTest, HostWindowsArePopupsOrChildren)
{
    EXPECT_EQ(nullptr, CreateBrowserHostWindow(parent_.get(), nullptr, nullptr));

    HWND child = CreateBrowserHostWindow(parent_.get(), GetModuleHandleW(nullptr), L"about:blank");
    ASSERT_NE(nullptr, child);
    EXPECT_EQ(static_cast<LONG_PTR>(WS_CHILD | WS_VISIBLE),
              GetWindowLongPtrW(child, GWL_STYLE) & (WS_CHILD | WS_POPUP | WS_VISIBLE));
    EXPECT_EQ(parent_.get(), GetParent(child));
    wchar_t className[32] = {};
    GetClassNameW(child, className, 32);
    EXPECT_STREQ(L"AtlAxWin140", className);
    RECT rect = {};
    GetWindowRect(child, &rect);
    EXPECT_EQ(0, rect.right - rect.left);

    HWND popup = CreateBrowserHostWindow(nullptr, nullptr, L"about:blank");
    ASSERT_NE(nullptr, popup);
    EXPECT_EQ(static_cast<LONG_PTR>(WS_POPUP | WS_VISIBLE),
              GetWindowLongPtrW(popup, GWL_STYLE) & (WS_CHILD | WS_POPUP | WS_VISIBLE));
    DestroyWindow(popup);
    DestroyWindow(child);
}

TEST_F(HostWiringTest, AttachedSinkAnswersTheHostsQuestionsAndHearsTheControl)
{
    HWND hostWindow = CreateBrowserHostWindow(parent_.get(), nullptr, L"about:blank");
    ASSERT_NE(nullptr, hostWindow);
    SinkHolder<CBrowserSink> sink;
    ASSERT_TRUE(AttachBrowserSink(hostWindow, sink.sink));
    ComPtr<IUnknown> control = AxGetControl(hostWindow);
    EXPECT_EQ(static_cast<IUnknown*>(control.get()), sink->Control());
    EXPECT_TRUE(sink->Browser());
    EXPECT_NE(WebBrowserEvents::kNotAdvised, sink->Cookie());

    ComPtr<IDocHostUIHandler> ui = QueryAs<IDocHostUIHandler>(AxGetHost(hostWindow).get(), IID_IDocHostUIHandler);
    ASSERT_TRUE(ui);
    LPOLESTR key = nullptr;
    ASSERT_EQ(S_OK, ui->GetOptionKeyPath(&key, 0));
    EXPECT_STREQ(L"Software\\zel\\bro", key);
    CoTaskMemFree(key);
    DOCHOSTUIINFO info = {};
    info.cbSize = sizeof(info);
    ASSERT_EQ(S_OK, ui->GetHostInfo(&info));
    EXPECT_EQ(12u, info.dwFlags);

    sink->Unadvise();
    DestroyWindow(hostWindow);
}

TEST_F(HostWiringTest, AttachingFailsWithoutAHostedBrowser)
{
    SinkHolder<CBrowserSink> sink;
    EXPECT_FALSE(AttachBrowserSink(nullptr, sink.sink));
    EXPECT_FALSE(AttachBrowserSink(parent_.get(), nullptr));
    EXPECT_FALSE(AttachBrowserSink(parent_.get(), sink.sink));  // a plain window
    EXPECT_EQ(nullptr, sink->Browser());

    EXPECT_FALSE(AttachSinkToControl(nullptr, sink.sink));
    Script notABrowser;
    EXPECT_FALSE(AttachSinkToControl(notABrowser.object, sink.sink));
    ComPtr<IWebBrowser2> browser = MakeBrowser();
    ASSERT_TRUE(AttachSinkToControl(browser.get(), sink.sink));
    EXPECT_EQ(browser.get(), sink->Browser());
    sink->Unadvise();
}

TEST_F(HostWiringTest, AHostRefusingTheHandlerFailsTheAttachButTheBrowserStays)
{
    ComObject<RefusingHost>* made = nullptr;
    ASSERT_EQ(S_OK, ComObject<RefusingHost>::CreateInstance(&made));
    ComPtr<IAxWinHostWindow> host = ComPtr<IAxWinHostWindow>::Share(made);
    ComPtr<IWebBrowser2> browser = MakeBrowser();
    ASSERT_TRUE(browser);
    ASSERT_EQ(S_OK, host->AttachControl(browser.get(), parent_.get()));

    SinkHolder<CBrowserSink> sink;
    EXPECT_FALSE(AttachBrowserSink(parent_.get(), sink.sink));
    EXPECT_EQ(browser.get(), sink->Browser());
    EXPECT_EQ(WebBrowserEvents::kNotAdvised, sink->Cookie());
}

TEST(WrapperHostTest, OverrideKeyIsTheBrowserSettingsKey)
{
    ComObject<CWrapperHost>* host = nullptr;
    ComObject<CWrapperHost>::CreateInstance(&host);
    ComPtr<IAxWinHostWindow> hold = ComPtr<IAxWinHostWindow>::Share(host);
    LPOLESTR key = nullptr;
    ASSERT_EQ(S_OK, host->GetOverrideKeyPath(&key, 0));
    EXPECT_STREQ(L"Software\\zel\\bro", key);
    CoTaskMemFree(key);
    EXPECT_EQ(E_INVALIDARG, host->GetOverrideKeyPath(nullptr, 0));
}

// --- The main sink without a page --------------------------------------------

TEST(MainSinkTest, OneSinkForTheProcessAndNoPageMeansNoCall)
{
    ClearLoggedMessages();
    CMainSink* sink = GetMainSink();
    ASSERT_NE(nullptr, sink);
    EXPECT_EQ(sink, GetMainSink());
    // Hosts and connection points that let go of it never end it.
    sink->EventDispatch()->AddRef();
    sink->EventDispatch()->Release();
    EXPECT_EQ(sink, GetMainSink());

    EXPECT_FALSE(GetMainScriptObject());
    EXPECT_FALSE(sink->inRender(true));
    EXPECT_FALSE(sink->inMsgBox(12));
    EXPECT_FALSE(sink->inTestQuivmarkSkin());
    EXPECT_TRUE(Logged(L"CMainSink::inTestQuivmarkSkin: cannot obtain DOM's script object"));
    EXPECT_STREQ(L"", sink->inSkinInfo());
}

TEST(PageValuesTest, RatingAndVersion)
{
    EXPECT_EQ(2457u, PageRating(0));
    EXPECT_EQ(1u, PageRating(1));
    EXPECT_EQ(80u, PageRating(80));

    EXPECT_EQ(L"4.42", PageVersionText(L"4, 42, 0, 0"));
    EXPECT_EQ(L"5.07", PageVersionText(L"5, 07, 1, 2"));
    EXPECT_EQ(L"4.4", PageVersionText(L"4, 4"));
    EXPECT_EQ(L"", PageVersionText(L"4, "));
    EXPECT_EQ(L"", PageVersionText(nullptr));
}
