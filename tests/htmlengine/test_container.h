// The tests' own minimal container for the WebBrowser control: a plain
// window, a client site that activates the control in place and answers
// IDocHostUIHandler2, an event sink that records DWebBrowserEvents2, and a
// window.external object that records the page's calls.
#pragma once

#include "testkit/page.h"

#include <gtest/gtest.h>

#include <exdisp.h>
#include <mshtmhst.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace enginetest {

using testkit::ComRef;
using testkit::Variant;

struct Event {
    std::wstring name;        // BeforeNavigate2, NavigateComplete2, DocumentComplete, NavigateError
    std::wstring url;
    ComRef<IDispatch> frame;  // the browser (or frame) the event is about
    long status = 0;          // NavigateError only
    bool layoutOk = true;     // the arguments came with the kinds the event declares
};

// Records DWebBrowserEvents2 and answers the cancel flags as told.
class EventSink final : public IDispatch {
public:
    std::vector<Event> events;
    std::function<bool(const std::wstring& url)> cancelBefore;
    bool cancelErrors = false;

    std::vector<std::wstring> names() const;
    bool has(const std::wstring& name, const std::wstring& url) const;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;

private:
    ULONG refs_ = 1;
};

struct ExternalCall {
    std::wstring name;
    std::vector<std::wstring> args;  // as text, in parameter order
    std::vector<VARTYPE> kinds;
};

// The page's window.external: methods hostCall(a, b) (answers "host saw
// <a>") and note(...) (answers nothing).
class External final : public IDispatch {
public:
    std::vector<ExternalCall> calls;
    // Runs inside each call, after it was recorded.
    std::function<void(const ExternalCall&)> onCall;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override;

private:
    ULONG refs_ = 1;
};

struct ContextMenuCall {
    DWORD id;
    POINT at;
};

class Container : public IOleClientSite, public IOleInPlaceSite, public IDocHostUIHandler2 {
public:
    Container();
    ~Container();

    // Creates the control, sites it, activates it in place in the window and
    // advises the sink; S_OK when every step worked.
    HRESULT embed();
    // Closes and releases the control (as a host does when its window goes).
    void close();
    IWebBrowser2* browser() const { return browser_.get(); }
    HWND window() const { return window_; }
    EventSink& sink() { return *sink_; }
    External& external() { return *external_; }
    // Whether GetExternal hands out the external object.
    bool offerExternal = true;

    HRESULT navigate(const std::wstring& url);
    // Navigates and waits until the top document completed or an error came
    // (false when neither happened in time).
    bool navigateAndWait(const std::wstring& url);
    // Waits for the next DocumentComplete of the top browser or the next
    // NavigateError, counting from event `from`.
    bool waitForEnd(size_t from);

    std::vector<std::wstring> hostCalls;  // GetHostInfo, GetOptionKeyPath, ...
    std::vector<ContextMenuCall> contextMenus;
    HRESULT contextMenuAnswer = S_OK;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override { return --refs_; }  // lives on the test's stack

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
    STDMETHODIMP GetContainer(IOleContainer** container) override;
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow, IOleInPlaceSite
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override;
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override;
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override;
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IDocHostUIHandler, IDocHostUIHandler2
    STDMETHODIMP ShowContextMenu(DWORD id, POINT* at, IUnknown*, IDispatch*) override;
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override;
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override { return E_NOTIMPL; }
    STDMETHODIMP HideUI() override { return E_NOTIMPL; }
    STDMETHODIMP UpdateUI() override { return E_NOTIMPL; }
    STDMETHODIMP EnableModeless(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override;
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** target) override;
    STDMETHODIMP GetExternal(IDispatch** external) override;
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override;
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override;
    STDMETHODIMP GetOverrideKeyPath(LPOLESTR* key, DWORD) override;

    bool inPlaceActive = false;

private:
    ULONG refs_ = 1;
    HWND window_ = nullptr;
    ComRef<IOleObject> control_;
    ComRef<IWebBrowser2> browser_;
    ComRef<IConnectionPoint> point_;
    DWORD cookie_ = 0;
    EventSink* sink_;
    External* external_;
};

// A test around one Container, embedded on an OLE thread before each test
// and gone after it.
class ContainerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, OleInitialize(nullptr));
        container_ = std::make_unique<Container>();
        ASSERT_EQ(S_OK, container_->embed());
    }
    void TearDown() override
    {
        container_.reset();
        OleUninitialize();
    }

    Container& host() { return *container_; }
    IWebBrowser2* browser() { return container_->browser(); }

    std::unique_ptr<Container> container_;
};

// The pages of the test's resource module (htmlpages.dll beside the test).
std::wstring PagesModulePath();
std::wstring PageUrl(const std::wstring& tail);  // "res://<module>/" + tail

}  // namespace enginetest
