#pragma once

// The two interfaces of ActiveX hosting that MinGW's headers lack, declared
// from their published layouts:
// - IDocHostUIHandlerDispatch: the browser's user-interface questions
//   (context menu, host flags, option key, window.external ...) in a form
//   a host hands on to an external handler;
// - IAxWinHostWindow: what a host window offers: create or attach the
//   control, and set the external objects.

#include <windows.h>
#include <oaidl.h>
#include <objidl.h>

extern "C" const IID IID_IDocHostUIHandlerDispatch;
extern "C" const IID IID_IAxWinHostWindow;

struct IDocHostUIHandlerDispatch : public IDispatch {
    // result: S_OK when the handler showed a menu (or none at all), S_FALSE
    // for the browser's own menu.
    virtual HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD id, DWORD x, DWORD y, IUnknown* commandTarget,
                                                      IDispatch* object, HRESULT* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHostInfo(DWORD* flags, DWORD* doubleClick) = 0;
    virtual HRESULT STDMETHODCALLTYPE ShowUI(DWORD id, IUnknown* activeObject, IUnknown* commandTarget,
                                             IUnknown* frame, IUnknown* document, HRESULT* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE HideUI() = 0;
    virtual HRESULT STDMETHODCALLTYPE UpdateUI() = 0;
    virtual HRESULT STDMETHODCALLTYPE EnableModeless(VARIANT_BOOL enable) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnDocWindowActivate(VARIANT_BOOL activate) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(VARIANT_BOOL activate) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResizeBorder(long left, long top, long right, long bottom,
                                                   IUnknown* uiWindow, VARIANT_BOOL frameWindow) = 0;
    virtual HRESULT STDMETHODCALLTYPE TranslateAccelerator(DWORD_PTR window, DWORD message, DWORD_PTR wParam,
                                                           DWORD_PTR lParam, BSTR commandGroup, DWORD commandId,
                                                           HRESULT* result) = 0;
    // The key comes back allocated with CoTaskMemAlloc: the host passes it
    // on to the browser, which frees it.
    virtual HRESULT STDMETHODCALLTYPE GetOptionKeyPath(BSTR* key, DWORD reserved) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDropTarget(IUnknown* dropTarget, IUnknown** replacement) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD translate, BSTR urlIn, BSTR* urlOut) = 0;
    virtual HRESULT STDMETHODCALLTYPE FilterDataObject(IUnknown* dataObject, IUnknown** replacement) = 0;
};

struct IAxWinHostWindow : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateControl(LPCOLESTR name, HWND window, IStream* state) = 0;
    // name: a class id in braces, a ProgID, or else an address that a
    // WebBrowser control is made for and navigated to. When adviseIid is not
    // IID_NULL and adviseSink is given, the sink is advised to the control's
    // connection point of that interface.
    virtual HRESULT STDMETHODCALLTYPE CreateControlEx(LPCOLESTR name, HWND window, IStream* state,
                                                      IUnknown** control, REFIID adviseIid,
                                                      IUnknown* adviseSink) = 0;
    virtual HRESULT STDMETHODCALLTYPE AttachControl(IUnknown* control, HWND window) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryControl(REFIID iid, void** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetExternalDispatch(IDispatch* object) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetExternalUIHandler(IDocHostUIHandlerDispatch* handler) = 0;
};
