// One loaded page: its tree, its script engine and window, its timers and
// its frames. Hosts reach it through IHTMLDocument2 (get_Script), scripts
// through the `document` object.
#pragma once

#include "dom.h"

#include <mshtml.h>

#include <map>

namespace htmlengine {

class Browser;
class ScriptHost;
class Window;

class Document : public ScriptObject, public IHTMLDocument2 {
public:
    // `browser` is null for a document made on its own (CLSID_HTMLDocument).
    Document(Browser* browser, std::wstring url);

    // IUnknown and IDispatch, shared by both bases.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ScriptObject::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return ScriptObject::Release(); }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override { return ScriptObject::GetTypeInfoCount(count); }
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override
    {
        return ScriptObject::GetTypeInfo(index, lcid, info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override
    {
        return ScriptObject::GetIDsOfNames(iid, names, count, lcid, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override
    {
        return ScriptObject::Invoke(id, iid, lcid, flags, params, result, exception, argError);
    }

    // IHTMLDocument
    STDMETHODIMP get_Script(IDispatch** p) override;

    // IHTMLDocument2: the few that mean something here.
    STDMETHODIMP get_title(BSTR* p) override;
    STDMETHODIMP put_title(BSTR v) override;
    STDMETHODIMP get_readyState(BSTR* p) override;
    STDMETHODIMP get_URL(BSTR* p) override;
    STDMETHODIMP toString(BSTR* p) override;

#define HTMLENGINE_NOT_HERE(method, params) \
    STDMETHODIMP method params override { return E_NOTIMPL; }
#define HTMLENGINE_NOT_HERE_PAIR(name, type) \
    HTMLENGINE_NOT_HERE(put_##name, (type)) HTMLENGINE_NOT_HERE(get_##name, (type*))
    HTMLENGINE_NOT_HERE(get_all, (IHTMLElementCollection**))
    HTMLENGINE_NOT_HERE(get_body, (IHTMLElement**))
    HTMLENGINE_NOT_HERE(get_activeElement, (IHTMLElement**))
    HTMLENGINE_NOT_HERE(get_images, (IHTMLElementCollection**))
    HTMLENGINE_NOT_HERE(get_applets, (IHTMLElementCollection**))
    HTMLENGINE_NOT_HERE(get_links, (IHTMLElementCollection**))
    HTMLENGINE_NOT_HERE(get_forms, (IHTMLElementCollection**))
    HTMLENGINE_NOT_HERE(get_anchors, (IHTMLElementCollection**))
    HTMLENGINE_NOT_HERE(get_scripts, (IHTMLElementCollection**))
    HTMLENGINE_NOT_HERE_PAIR(designMode, BSTR)
    HTMLENGINE_NOT_HERE(get_selection, (IHTMLSelectionObject**))
    HTMLENGINE_NOT_HERE(get_frames, (IHTMLFramesCollection2**))
    HTMLENGINE_NOT_HERE(get_embeds, (IHTMLElementCollection**))
    HTMLENGINE_NOT_HERE(get_plugins, (IHTMLElementCollection**))
    HTMLENGINE_NOT_HERE_PAIR(alinkColor, VARIANT)
    HTMLENGINE_NOT_HERE_PAIR(bgColor, VARIANT)
    HTMLENGINE_NOT_HERE_PAIR(fgColor, VARIANT)
    HTMLENGINE_NOT_HERE_PAIR(linkColor, VARIANT)
    HTMLENGINE_NOT_HERE_PAIR(vlinkColor, VARIANT)
    HTMLENGINE_NOT_HERE(get_referrer, (BSTR*))
    HTMLENGINE_NOT_HERE(get_location, (IHTMLLocation**))
    HTMLENGINE_NOT_HERE(get_lastModified, (BSTR*))
    HTMLENGINE_NOT_HERE(put_URL, (BSTR))
    HTMLENGINE_NOT_HERE_PAIR(domain, BSTR)
    HTMLENGINE_NOT_HERE_PAIR(cookie, BSTR)
    HTMLENGINE_NOT_HERE_PAIR(expando, VARIANT_BOOL)
    HTMLENGINE_NOT_HERE_PAIR(charset, BSTR)
    HTMLENGINE_NOT_HERE_PAIR(defaultCharset, BSTR)
    HTMLENGINE_NOT_HERE(get_mimeType, (BSTR*))
    HTMLENGINE_NOT_HERE(get_fileSize, (BSTR*))
    HTMLENGINE_NOT_HERE(get_fileCreatedDate, (BSTR*))
    HTMLENGINE_NOT_HERE(get_fileModifiedDate, (BSTR*))
    HTMLENGINE_NOT_HERE(get_fileUpdatedDate, (BSTR*))
    HTMLENGINE_NOT_HERE(get_security, (BSTR*))
    HTMLENGINE_NOT_HERE(get_protocol, (BSTR*))
    HTMLENGINE_NOT_HERE(get_nameProp, (BSTR*))
    HTMLENGINE_NOT_HERE(write, (SAFEARRAY*))
    HTMLENGINE_NOT_HERE(writeln, (SAFEARRAY*))
    HTMLENGINE_NOT_HERE(open, (BSTR, VARIANT, VARIANT, VARIANT, IDispatch**))
    HTMLENGINE_NOT_HERE(close, ())
    HTMLENGINE_NOT_HERE(clear, ())
    HTMLENGINE_NOT_HERE(queryCommandSupported, (BSTR, VARIANT_BOOL*))
    HTMLENGINE_NOT_HERE(queryCommandEnabled, (BSTR, VARIANT_BOOL*))
    HTMLENGINE_NOT_HERE(queryCommandState, (BSTR, VARIANT_BOOL*))
    HTMLENGINE_NOT_HERE(queryCommandIndeterm, (BSTR, VARIANT_BOOL*))
    HTMLENGINE_NOT_HERE(queryCommandText, (BSTR, BSTR*))
    HTMLENGINE_NOT_HERE(queryCommandValue, (BSTR, VARIANT*))
    HTMLENGINE_NOT_HERE(execCommand, (BSTR, VARIANT_BOOL, VARIANT, VARIANT_BOOL*))
    HTMLENGINE_NOT_HERE(execCommandShowHelp, (BSTR, VARIANT_BOOL*))
    HTMLENGINE_NOT_HERE(createElement, (BSTR, IHTMLElement**))
    HTMLENGINE_NOT_HERE_PAIR(onhelp, VARIANT)
    HTMLENGINE_NOT_HERE_PAIR(onclick, VARIANT)
    HTMLENGINE_NOT_HERE_PAIR(ondblclick, VARIANT)
    HTMLENGINE_NOT_HERE_PAIR(onkeyup, VARIANT)
    HTMLENGINE_NOT_HERE_PAIR(onkeydown, VARIANT)
    HTMLENGINE_NOT_HERE_PAIR(onkeypress, VARIANT)
    HTMLENGINE_NOT_HERE_PAIR(onmouseup, VARIANT)
    HTMLENGINE_NOT_HERE_PAIR(onmousedown, VARIANT)
    HTMLENGINE_NOT_HERE_PAIR(onmousemove, VARIANT)
    HTMLENGINE_NOT_HERE_PAIR(onmouseout, VARIANT)
    HTMLENGINE_NOT_HERE_PAIR(onmouseover, VARIANT)
    HTMLENGINE_NOT_HERE_PAIR(onreadystatechange, VARIANT)
    HTMLENGINE_NOT_HERE_PAIR(onafterupdate, VARIANT)
    HTMLENGINE_NOT_HERE_PAIR(onrowexit, VARIANT)
    HTMLENGINE_NOT_HERE_PAIR(onrowenter, VARIANT)
    HTMLENGINE_NOT_HERE_PAIR(ondragstart, VARIANT)
    HTMLENGINE_NOT_HERE_PAIR(onselectstart, VARIANT)
    HTMLENGINE_NOT_HERE(elementFromPoint, (LONG, LONG, IHTMLElement**))
    HTMLENGINE_NOT_HERE(get_parentWindow, (IHTMLWindow2**))
    HTMLENGINE_NOT_HERE(get_styleSheets, (IHTMLStyleSheetsCollection**))
    HTMLENGINE_NOT_HERE_PAIR(onbeforeupdate, VARIANT)
    HTMLENGINE_NOT_HERE_PAIR(onerrorupdate, VARIANT)
    HTMLENGINE_NOT_HERE(createStyleSheet, (BSTR, LONG, IHTMLStyleSheet**))
#undef HTMLENGINE_NOT_HERE_PAIR
#undef HTMLENGINE_NOT_HERE

    // --- for the browser ---------------------------------------------------

    Browser* browser() const { return browser_; }
    const std::wstring& url() const { return url_; }
    Window* window() const { return window_.get(); }
    IDispatch* scriptGlobals() const;
    Node* body() const { return body_; }
    READYSTATE readyState() const { return readyState_; }
    void setReadyState(READYSTATE state) { readyState_ = state; }

    // Builds the tree from the page's markup.
    void build(std::wstring_view markup);
    // Starts the script engine and runs the page's scripts in document order
    // (inline ones and those named by src, read relative to the page).
    void runScripts();
    // The addresses of the page's frames, resolved against the page.
    std::vector<std::wstring> frameAddresses() const;
    void addFrame(ComRef<Browser> frame);
    const std::vector<ComRef<Browser>>& frames() const { return frames_; }
    // Runs window.onload, or the body's onload attribute.
    void runOnload();
    // Unloads the page: timers, frames, script engine and tree go.
    void unload();

    // --- for scripts ---------------------------------------------------------

    // Runs statements; false when the script raised an error.
    bool execute(std::wstring_view code, std::wstring_view source);
    // Evaluates an expression into `result`.
    HRESULT evaluate(std::wstring_view code, VARIANT* result);
    // Makes a function from an inline handler's text.
    HRESULT compileHandler(std::wstring_view code, VARIANT* function);
    // Depth of script running on behalf of the page itself (its scripts,
    // timers, handlers), as opposed to calls from outside.
    int scriptDepth() const { return scriptDepth_; }
    void enterScript() { ++scriptDepth_; }
    // An unload asked for while script ran completes when it returns.
    void leaveScript();

    UINT_PTR setTimer(const VARIANT& callback, UINT delay, bool repeat);
    void clearTimer(UINT_PTR id);
    void runTimer(UINT_PTR id);

protected:
    bool isMember(std::wstring_view name) const override;
    HRESULT getMember(std::wstring_view name, VARIANT* result) override;
    HRESULT putMember(std::wstring_view name, const VARIANT& value) override;
    HRESULT callMember(std::wstring_view name, const Args& args, VARIANT* result) override;

private:
    ~Document() override;
    bool startScripts();
    void finishUnload();
    HWND timerWindow() const;

    struct Timer {
        Variant callback;
        bool repeat = false;
    };

    Browser* browser_;
    std::wstring url_;
    ComRef<Node> root_;
    Node* body_ = nullptr;
    ComRef<Window> window_;
    ComRef<ScriptHost> script_;
    bool scriptFailed_ = false;
    int scriptDepth_ = 0;
    bool unloadPending_ = false;
    READYSTATE readyState_ = READYSTATE_LOADING;
    std::wstring title_;
    std::map<UINT_PTR, Timer> timers_;
    UINT_PTR nextTimer_ = 1;
    std::vector<ComRef<Browser>> frames_;
};

}  // namespace htmlengine
