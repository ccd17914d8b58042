// The WebBrowser control: an OLE control a host embeds and activates in
// place, with IWebBrowser2, the DWebBrowserEvents2 connection point and the
// class information that names it. A frame of a page is a browser of its
// own without the OLE side; its events go out through the top browser.
#pragma once

#include "com.h"
#include "events.h"

#include <exdisp.h>
#include <mshtmhst.h>
#include <ocidl.h>

#include <map>
#include <optional>

namespace htmlengine {

class Document;

class Browser final : public IWebBrowser2,
                      public IOleObject,
                      public IOleInPlaceObject,
                      public IOleInPlaceActiveObject,
                      public IViewObject2,
                      public IPersistStreamInit,
                      public IOleControl,
                      public IProvideClassInfo2,
                      public IConnectionPointContainer {
public:
    static ComRef<Browser> CreateControl();

    // --- for the rest of the engine -------------------------------------

    HWND hookWindow() const { return hook_.get(); }
    Document* document() const { return document_.get(); }
    Browser* top();
    Browser* parentBrowser() const { return parent_; }
    // Navigates once the current message has been handled (as scripts do).
    void navigateLater(std::wstring url);
    // The host's object for window.external.
    HRESULT hostExternal(IDispatch** external);
    // Asks the host to show the context menu `id` at the screen point.
    HRESULT showContextMenu(DWORD id, POINT at);
    // Evaluates script text in the page (the copy-data hook).
    bool evaluateForHook(std::wstring_view code);
    // The frame's page goes away with its parent's.
    void closeFrame();

    // --- IUnknown --------------------------------------------------------
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // --- IDispatch (from the type library) ---------------------------------
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override;

    // --- IWebBrowser -------------------------------------------------------
    STDMETHODIMP GoBack() override;
    STDMETHODIMP GoForward() override;
    STDMETHODIMP GoHome() override;
    STDMETHODIMP GoSearch() override;
    STDMETHODIMP Navigate(BSTR url, VARIANT* flags, VARIANT* targetFrame, VARIANT* postData,
                          VARIANT* headers) override;
    STDMETHODIMP Refresh() override;
    STDMETHODIMP Refresh2(VARIANT* level) override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP get_Application(IDispatch** p) override;
    STDMETHODIMP get_Parent(IDispatch** p) override;
    STDMETHODIMP get_Container(IDispatch** p) override;
    STDMETHODIMP get_Document(IDispatch** p) override;
    STDMETHODIMP get_TopLevelContainer(VARIANT_BOOL* p) override;
    STDMETHODIMP get_Type(BSTR* p) override;
    STDMETHODIMP get_Left(LONG* p) override;
    STDMETHODIMP put_Left(LONG v) override;
    STDMETHODIMP get_Top(LONG* p) override;
    STDMETHODIMP put_Top(LONG v) override;
    STDMETHODIMP get_Width(LONG* p) override;
    STDMETHODIMP put_Width(LONG v) override;
    STDMETHODIMP get_Height(LONG* p) override;
    STDMETHODIMP put_Height(LONG v) override;
    STDMETHODIMP get_LocationName(BSTR* p) override;
    STDMETHODIMP get_LocationURL(BSTR* p) override;
    STDMETHODIMP get_Busy(VARIANT_BOOL* p) override;

    // --- IWebBrowserApp ----------------------------------------------------
    STDMETHODIMP Quit() override;
    STDMETHODIMP ClientToWindow(int* cx, int* cy) override;
    STDMETHODIMP PutProperty(BSTR name, VARIANT value) override;
    STDMETHODIMP GetProperty(BSTR name, VARIANT* value) override;
    STDMETHODIMP get_Name(BSTR* p) override;
    STDMETHODIMP get_HWND(SHANDLE_PTR* p) override;
    STDMETHODIMP get_FullName(BSTR* p) override;
    STDMETHODIMP get_Path(BSTR* p) override;
    STDMETHODIMP get_Visible(VARIANT_BOOL* p) override;
    STDMETHODIMP put_Visible(VARIANT_BOOL v) override;
    STDMETHODIMP get_StatusBar(VARIANT_BOOL* p) override;
    STDMETHODIMP put_StatusBar(VARIANT_BOOL v) override;
    STDMETHODIMP get_StatusText(BSTR* p) override;
    STDMETHODIMP put_StatusText(BSTR v) override;
    STDMETHODIMP get_ToolBar(int* p) override;
    STDMETHODIMP put_ToolBar(int v) override;
    STDMETHODIMP get_MenuBar(VARIANT_BOOL* p) override;
    STDMETHODIMP put_MenuBar(VARIANT_BOOL v) override;
    STDMETHODIMP get_FullScreen(VARIANT_BOOL* p) override;
    STDMETHODIMP put_FullScreen(VARIANT_BOOL v) override;

    // --- IWebBrowser2 --------------------------------------------------------
    STDMETHODIMP Navigate2(VARIANT* url, VARIANT* flags, VARIANT* targetFrame, VARIANT* postData,
                           VARIANT* headers) override;
    STDMETHODIMP QueryStatusWB(OLECMDID command, OLECMDF* status) override;
    STDMETHODIMP ExecWB(OLECMDID command, OLECMDEXECOPT option, VARIANT* in, VARIANT* out) override;
    STDMETHODIMP ShowBrowserBar(VARIANT* clsid, VARIANT* show, VARIANT* size) override;
    STDMETHODIMP get_ReadyState(READYSTATE* p) override;
    STDMETHODIMP get_Offline(VARIANT_BOOL* p) override;
    STDMETHODIMP put_Offline(VARIANT_BOOL v) override;
    STDMETHODIMP get_Silent(VARIANT_BOOL* p) override;
    STDMETHODIMP put_Silent(VARIANT_BOOL v) override;
    STDMETHODIMP get_RegisterAsBrowser(VARIANT_BOOL* p) override;
    STDMETHODIMP put_RegisterAsBrowser(VARIANT_BOOL v) override;
    STDMETHODIMP get_RegisterAsDropTarget(VARIANT_BOOL* p) override;
    STDMETHODIMP put_RegisterAsDropTarget(VARIANT_BOOL v) override;
    STDMETHODIMP get_TheaterMode(VARIANT_BOOL* p) override;
    STDMETHODIMP put_TheaterMode(VARIANT_BOOL v) override;
    STDMETHODIMP get_AddressBar(VARIANT_BOOL* p) override;
    STDMETHODIMP put_AddressBar(VARIANT_BOOL v) override;
    STDMETHODIMP get_Resizable(VARIANT_BOOL* p) override;
    STDMETHODIMP put_Resizable(VARIANT_BOOL v) override;

    // --- IOleObject ----------------------------------------------------------
    STDMETHODIMP SetClientSite(IOleClientSite* site) override;
    STDMETHODIMP GetClientSite(IOleClientSite** site) override;
    STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR object) override;
    STDMETHODIMP Close(DWORD saveOption) override;
    STDMETHODIMP SetMoniker(DWORD which, IMoniker* moniker) override;
    STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
    STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
    STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) override;
    STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* activeSite, LONG index, HWND parent,
                        LPCRECT pos) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override;
    STDMETHODIMP Update() override;
    STDMETHODIMP IsUpToDate() override;
    STDMETHODIMP GetUserClassID(CLSID* clsid) override;
    STDMETHODIMP GetUserType(DWORD form, LPOLESTR* type) override;
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP Advise(IAdviseSink* sink, DWORD* connection) override;
    STDMETHODIMP Unadvise(DWORD connection) override;
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** advise) override;
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE* palette) override;

    // --- IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject ------------------
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT clip) override;
    STDMETHODIMP ReactivateAndUndo() override;
    STDMETHODIMP TranslateAccelerator(LPMSG msg) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
    STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
    STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
    STDMETHODIMP EnableModeless(BOOL enable) override;

    // --- IViewObject2 --------------------------------------------------------------
    STDMETHODIMP Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device, HDC targetDc,
                      HDC drawDc, LPCRECTL bounds, LPCRECTL wBounds, BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR),
                      ULONG_PTR contArg) override;
    STDMETHODIMP GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                             HDC targetDc, LOGPALETTE** colors) override;
    STDMETHODIMP Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) override;
    STDMETHODIMP Unfreeze(DWORD freeze) override;
    STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    STDMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) override;

    // --- IPersistStreamInit --------------------------------------------------------
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(LPSTREAM stream) override;
    STDMETHODIMP Save(LPSTREAM stream, BOOL clearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
    STDMETHODIMP InitNew() override;

    // --- IOleControl ---------------------------------------------------------------
    STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
    STDMETHODIMP OnMnemonic(MSG* msg) override;
    STDMETHODIMP OnAmbientPropertyChange(DISPID id) override;
    STDMETHODIMP FreezeEvents(BOOL freeze) override;

    // --- IProvideClassInfo2 ----------------------------------------------------------
    STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
    STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

    // --- IConnectionPointContainer ---------------------------------------------------
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

private:
    struct Navigation {
        std::wstring url;
        long flags = 0;
        std::wstring targetFrame;
        Variant postData;
        std::wstring headers;
    };

    explicit Browser(Browser* parent);
    ~Browser();

    static LRESULT CALLBACK HookProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT onHookMessage(UINT message, WPARAM wParam, LPARAM lParam);

    HRESULT startNavigation(Navigation navigation);
    void runPendingNavigation();
    void navigateNow(const Navigation& navigation);
    void showPage(const std::wstring& url, std::wstring_view markup);
    bool stillShowing(const Document* page) const;
    void unloadDocument();

    ComRef<IDocHostUIHandler> uiHandler();
    void askHostAtLoad();

    bool fireBeforeNavigate2(const Navigation& navigation);
    void fireNavigateComplete2(const std::wstring& url);
    void fireDocumentComplete(const std::wstring& url);
    bool fireNavigateError(const Navigation& navigation, long status);

    HRESULT activateInPlace(bool uiActivate);
    void placeView();
    ITypeInfo* browserTypeInfo();

    LONG refs_ = 1;
    Browser* parent_;
    int depth_ = 0;
    bool closed_ = false;
    bool navigating_ = false;
    WindowHandle hook_;
    WindowHandle view_;
    EventPoint events_{this};

    std::optional<Navigation> pending_;
    ComRef<Document> document_;
    std::wstring locationUrl_;
    READYSTATE readyState_ = READYSTATE_UNINITIALIZED;
    bool busy_ = false;

    ComRef<IOleClientSite> site_;
    ComRef<IOleInPlaceSite> inPlaceSite_;
    ComRef<IAdviseSink> viewSink_;
    ComRef<IOleAdviseHolder> adviseHolder_;
    bool uiActive_ = false;
    RECT rect_{};
    SIZEL extent_{2540 * 4, 2540 * 3};  // HIMETRIC

    bool visible_ = false;
    bool silent_ = false;
    bool offline_ = false;
    bool registerAsBrowser_ = false;
    bool registerAsDropTarget_ = true;
    std::map<std::wstring, Variant> properties_;

    ComRef<ITypeLib> typeLib_;
    ComRef<ITypeInfo> browserInfo_;
};

}  // namespace htmlengine
