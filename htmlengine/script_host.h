// The page's JScript engine (the system's own, through IActiveScript) and
// the site it talks back to.
#pragma once

#include "com.h"

#include <activscp.h>

namespace htmlengine {

class Document;

class ScriptHost final : public IActiveScriptSite, public IActiveScriptSiteWindow {
public:
    explicit ScriptHost(Document* document);

    // Creates the engine with `window` as the global named item; false
    // when JScript cannot be had.
    bool start(IDispatch* window);
    // Runs statements; an error is reported through OnScriptError.
    HRESULT run(std::wstring_view code, std::wstring_view source, ULONG firstLine);
    HRESULT evaluate(std::wstring_view code, VARIANT* result);
    // The engine's global object: the page's functions and variables.
    IDispatch* globals() const { return globals_.get(); }
    void close();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IActiveScriptSite
    STDMETHODIMP GetLCID(LCID* lcid) override;
    STDMETHODIMP GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override;
    STDMETHODIMP GetDocVersionString(BSTR* version) override;
    STDMETHODIMP OnScriptTerminate(const VARIANT* result, const EXCEPINFO* exception) override;
    STDMETHODIMP OnStateChange(SCRIPTSTATE state) override;
    STDMETHODIMP OnScriptError(IActiveScriptError* error) override;
    STDMETHODIMP OnEnterScript() override;
    STDMETHODIMP OnLeaveScript() override;

    // IActiveScriptSiteWindow
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP EnableModeless(BOOL enable) override;

private:
    ~ScriptHost();

    LONG refs_ = 1;
    Document* document_;
    ComRef<IDispatch> window_;
    ComRef<IActiveScript> engine_;
    ComRef<IActiveScriptParse> parser_;
    ComRef<IDispatch> globals_;
    std::wstring source_;
};

}  // namespace htmlengine
