#pragma once

// The sink objects of the hosted WebBrowser controls.
//
// CBrowserSink is attached to one control: it hears the control's events
// (a completed document is posted to its notify window as
// "Lorrimel_DocCompletedMsg"), answers the browser's user-interface
// questions for the control's host (context menu, host flags, option key,
// the page's window.external), and holds what a page call needs: the
// control, its IWebBrowser2, the external object and the notify window.
// Its page-call members call one page function each on the sink's own page.
// Balloon and social dialog sinks derive from it and override events.
//
// CMainSink is the sink of the main page, one per process (GetMainSink);
// its members call the main page's functions.

#include "axhost/comobject.h"
#include "axhost/dispatch.h"
#include "axhost/events.h"
#include "axhost/interfaces.h"
#include "host/pagecall.h"
#include "shell/com.h"

#include <windows.h>
#include <exdisp.h>

#include <cstdint>

// The registry key under which the browser reads its settings for the
// program's pages.
constexpr const wchar_t* BrowserSettingsKey = L"Software\\zel\\bro";
// The browser asks for the settings key as a string it frees itself
// (CoTaskMemFree); *key stays null when the copy cannot be made.
HRESULT CopyBrowserSettingsKey(LPOLESTR* key);

class CBrowserSink : public ComObjectRoot,
                     public WebBrowserEvents,
                     public NoTypeInfoDispatch<IDocHostUIHandlerDispatch> {
public:
    CBrowserSink() = default;

    IUnknown* InterfaceFor(REFIID iid) override;

    // The handler part, as handed to a host's SetExternalUIHandler.
    IDocHostUIHandlerDispatch* UIHandler() { return this; }

    // Events: a completed document other than "about:blank" is posted to
    // the notify window.
    HRESULT DocumentComplete(IDispatch* frame, VARIANT* url) override;

    // Advises the sink to the control's event interface; needs the browser
    // to be set first. Advising twice without Unadvise is refused.
    bool Advise(IUnknown* control);
    // Unadvises from the advised control; the control is let go only when
    // that succeeded. Browser, external object and notify window stay.
    HRESULT Unadvise();

    IUnknown* Control() const { return control_.get(); }
    IWebBrowser2* Browser() const { return browser_.get(); }
    void SetBrowser(IWebBrowser2* browser) { browser_ = ComPtr<IWebBrowser2>::Share(browser); }
    IDispatch* External() const { return external_.get(); }
    void SetExternal(IDispatch* external) { external_ = ComPtr<IDispatch>::Share(external); }
    HWND NotifyWindow() const { return notifyWindow_; }
    // Set once: only while none is set, and never to null.
    void SetNotifyWindow(HWND window);

    // Page functions of the sink's own page.
    bool inOptionLoad(const wchar_t* name, const wchar_t* value);
    bool inAdUpdate(const wchar_t* clickUrl, const wchar_t* imageUrl);
    // These two answer the size the page asks for (its returned object's
    // width and height).
    bool inNewGame(uint32_t gameId, uint32_t affiliate, const wchar_t* name, const wchar_t* description,
                   SIZE* size);
    bool inNews(const wchar_t* title, const wchar_t* description, const wchar_t* image, const wchar_t* link,
                SIZE* size);
    // Calls a page function of exactly four arguments and reads the width
    // and height of the object it returns.
    bool ExecuteScriptForSize(const wchar_t* name, const VARIANT* arguments, SIZE* size);

    // IDocHostUIHandlerDispatch
    STDMETHODIMP ShowContextMenu(DWORD id, DWORD x, DWORD y, IUnknown* commandTarget, IDispatch* object,
                                 HRESULT* result) override;
    STDMETHODIMP GetHostInfo(DWORD* flags, DWORD* doubleClick) override;
    STDMETHODIMP ShowUI(DWORD id, IUnknown* activeObject, IUnknown* commandTarget, IUnknown* frame,
                        IUnknown* document, HRESULT* result) override;
    STDMETHODIMP HideUI() override;
    STDMETHODIMP UpdateUI() override;
    STDMETHODIMP EnableModeless(VARIANT_BOOL enable) override;
    STDMETHODIMP OnDocWindowActivate(VARIANT_BOOL activate) override;
    STDMETHODIMP OnFrameWindowActivate(VARIANT_BOOL activate) override;
    STDMETHODIMP ResizeBorder(long left, long top, long right, long bottom, IUnknown* uiWindow,
                              VARIANT_BOOL frameWindow) override;
    STDMETHODIMP TranslateAccelerator(DWORD_PTR window, DWORD message, DWORD_PTR wParam, DWORD_PTR lParam,
                                      BSTR commandGroup, DWORD commandId, HRESULT* result) override;
    STDMETHODIMP GetOptionKeyPath(BSTR* key, DWORD reserved) override;
    STDMETHODIMP GetDropTarget(IUnknown* dropTarget, IUnknown** replacement) override;
    STDMETHODIMP GetExternal(IDispatch** object) override;
    STDMETHODIMP TranslateUrl(DWORD translate, BSTR urlIn, BSTR* urlOut) override;
    STDMETHODIMP FilterDataObject(IUnknown* dataObject, IUnknown** replacement) override;

protected:
    // Calls name on the sink's own page.
    bool CallOwnPage(const wchar_t* name, const PageArgs& args);

private:
    // The copy menu of a right click on selected text.
    void CopyCodeMenu(DWORD x, DWORD y);

    ComPtr<IUnknown> control_;
    ComPtr<IWebBrowser2> browser_;
    ComPtr<IDispatch> external_;
    HWND notifyWindow_ = nullptr;
};

class CMainSink : public CBrowserSink {
public:
    bool inRender(bool render);
    bool inGameUpdate(uint32_t id, uint32_t affiliate, const wchar_t* name, const wchar_t* description,
                      const wchar_t* statusWords, uint32_t release, uint32_t rating, uint32_t installed,
                      uint32_t launches, const wchar_t* custom, const wchar_t* itunesId,
                      const wchar_t* itunesIdFree, const wchar_t* itunesIdIpad, const wchar_t* itunesIdIpadFree,
                      uint32_t track, const wchar_t* utm);
    bool inGameSelect(uint32_t id);
    // The page's own test that it belongs to this program's theme.
    bool inTestQuivmarkSkin();
    // The page receives one argument, or two when text is not null.
    bool inMsgBox(uint32_t code, const wchar_t* text = nullptr);
    bool inShowShareDialog(uint32_t gameId, uint32_t network);
    // The page's skin information, asked once and kept for the process;
    // empty while the page gives no usable text.
    const wchar_t* inSkinInfo();

private:
    // Calls name on the main page; false without calling when the main
    // page has no script object.
    bool CallMainPage(const wchar_t* name, const PageArgs& args);
};

// The one main sink of the process, created on first use; null (and logged)
// when it cannot be created.
CMainSink* GetMainSink();

// The script object of the main page; null when the main sink, its browser
// or the script object is missing.
ComPtr<IDispatch> GetMainScriptObject();

// The rating a page is given for a game: 0 means "not rated" and is sent as
// 2457.
uint32_t PageRating(uint32_t rating);
