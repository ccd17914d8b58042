#pragma once

// The host object of one ActiveX control (see axhost/axhost.h). It is the
// control's client site and in-place site and answers the browser's
// IDocHostUIHandler questions by handing each to the external handler set
// with SetExternalUIHandler. Subclasses add their own answers, such as
// IDocHostUIHandler2::GetOverrideKeyPath.
//
// The host attaches to its window by subclassing it, keeps itself alive
// while attached, and lets go of the control and of itself when the window
// is destroyed.

#include "axhost/comobject.h"
#include "axhost/interfaces.h"
#include "shell/com.h"

#include <windows.h>
#include <mshtmhst.h>
#include <ole2.h>

#include <string>

class CAxHostWindow : public ComObjectRoot,
                      public IOleClientSite,
                      public IOleInPlaceSite,
                      public IDocHostUIHandler2,
                      public IAxWinHostWindow {
public:
    CAxHostWindow();
    ~CAxHostWindow() override;

    IUnknown* InterfaceFor(REFIID iid) override;

    HWND Window() const { return window_; }
    IUnknown* Control() const { return control_.get(); }
    // Attaches to a window without a control yet (a later CreateControl
    // puts one in).
    HRESULT AttachToWindow(HWND window);

    // IOleClientSite
    STDMETHODIMP SaveObject() override;
    STDMETHODIMP GetMoniker(DWORD assign, DWORD whichMoniker, IMoniker** moniker) override;
    STDMETHODIMP GetContainer(IOleContainer** container) override;
    STDMETHODIMP ShowObject() override;
    STDMETHODIMP OnShowWindow(BOOL show) override;
    STDMETHODIMP RequestNewObjectLayout() override;

    // IOleWindow / IOleInPlaceSite
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enterMode) override;
    STDMETHODIMP CanInPlaceActivate() override;
    STDMETHODIMP OnInPlaceActivate() override;
    STDMETHODIMP OnUIActivate() override;
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO frameInfo) override;
    STDMETHODIMP Scroll(SIZE extent) override;
    STDMETHODIMP OnUIDeactivate(BOOL undoable) override;
    STDMETHODIMP OnInPlaceDeactivate() override;
    STDMETHODIMP DiscardUndoState() override;
    STDMETHODIMP DeactivateAndUndo() override;
    STDMETHODIMP OnPosRectChange(LPCRECT position) override;

    // IDocHostUIHandler: each question goes to the external handler.
    STDMETHODIMP ShowContextMenu(DWORD id, POINT* point, IUnknown* commandTarget, IDispatch* object) override;
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override;
    STDMETHODIMP ShowUI(DWORD id, IOleInPlaceActiveObject* activeObject, IOleCommandTarget* commandTarget,
                        IOleInPlaceFrame* frame, IOleInPlaceUIWindow* document) override;
    STDMETHODIMP HideUI() override;
    STDMETHODIMP UpdateUI() override;
    STDMETHODIMP EnableModeless(BOOL enable) override;
    STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
    STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* uiWindow, BOOL frameWindow) override;
    STDMETHODIMP TranslateAccelerator(LPMSG message, const GUID* commandGroup, DWORD commandId) override;
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD reserved) override;
    STDMETHODIMP GetDropTarget(IDropTarget* dropTarget, IDropTarget** replacement) override;
    STDMETHODIMP GetExternal(IDispatch** object) override;
    STDMETHODIMP TranslateUrl(DWORD translate, LPWSTR urlIn, LPWSTR* urlOut) override;
    STDMETHODIMP FilterDataObject(IDataObject* dataObject, IDataObject** replacement) override;
    // IDocHostUIHandler2: no override of its own.
    STDMETHODIMP GetOverrideKeyPath(LPOLESTR* key, DWORD reserved) override;

    // IAxWinHostWindow
    STDMETHODIMP CreateControl(LPCOLESTR name, HWND window, IStream* state) override;
    STDMETHODIMP CreateControlEx(LPCOLESTR name, HWND window, IStream* state, IUnknown** control,
                                 REFIID adviseIid, IUnknown* adviseSink) override;
    STDMETHODIMP AttachControl(IUnknown* control, HWND window) override;
    STDMETHODIMP QueryControl(REFIID iid, void** object) override;
    STDMETHODIMP SetExternalDispatch(IDispatch* object) override;
    STDMETHODIMP SetExternalUIHandler(IDocHostUIHandlerDispatch* handler) override;

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);
    LRESULT OnWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HRESULT ActivateControl(IUnknown* control, IStream* state);
    void ResizeControl();
    // Deactivates, closes and releases the control (window destruction, or
    // a new control replacing it).
    void ReleaseControl();
    void Detach();

    HWND window_ = nullptr;
    ComPtr<IUnknown> control_;
    ComPtr<IOleObject> oleObject_;
    ComPtr<IOleInPlaceObject> inPlaceObject_;
    ComPtr<IOleInPlaceFrame> frame_;
    ComPtr<IDocHostUIHandlerDispatch> uiHandler_;
    ComPtr<IDispatch> externalDispatch_;
    IID adviseIid_;
    DWORD adviseCookie_ = 0;
    bool inPlaceActive_ = false;
};
