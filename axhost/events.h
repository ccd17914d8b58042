#pragma once

// Receiving a WebBrowser control's DWebBrowserEvents2 events.
//
// WebBrowserEvents is the event part of a sink object: the IDispatch the
// control calls through its connection point. It routes the four events the
// program listens to, by their dispatch ids, to virtual operations, so a
// subclass overrides just the events it cares about; every other event is
// accepted and ignored. It also holds what advising needs: the source
// interface read from the control's type information and the cookie.

#include <windows.h>
#include <exdisp.h>
#include <oaidl.h>

class WebBrowserEvents : public IDispatch {
public:
    // The cookie of a sink that is not advised.
    static constexpr DWORD kNotAdvised = 0xFEFEFEFE;

    // The events, parameters as the control sends them (by-reference values
    // already resolved; cancel points to a value the control reads back).
    virtual HRESULT BeforeNavigate2(IDispatch* frame, VARIANT* url, VARIANT* flags, VARIANT* targetFrameName,
                                    VARIANT* postData, VARIANT* headers, VARIANT_BOOL* cancel);
    virtual HRESULT NavigateComplete2(IDispatch* frame, VARIANT* url);
    virtual HRESULT DocumentComplete(IDispatch* frame, VARIANT* url);
    virtual HRESULT NavigateError(IDispatch* frame, VARIANT* url, VARIANT* targetFrame, VARIANT* statusCode,
                                  VARIANT_BOOL* cancel);

    // IDispatch of the event part: no names, only the dispatch ids.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override;

    IDispatch* EventDispatch() { return this; }

    const GUID& EventLibId() const { return libId_; }
    const IID& EventIid() const { return eventIid_; }
    WORD EventLibMajor() const { return libMajor_; }
    WORD EventLibMinor() const { return libMinor_; }
    DWORD Cookie() const { return cookie_; }

protected:
    WebBrowserEvents();

    // Reads the control's default source interface into the fields above.
    HRESULT ReadSourceInterface(IUnknown* control);
    // Advises this sink to the control's connection point of the event
    // interface; the cookie is kept.
    HRESULT AdviseTo(IUnknown* control);
    // Unadvises from the control; the cookie is reset whatever the answer.
    HRESULT UnadviseFrom(IUnknown* control);

private:
    GUID libId_;
    IID eventIid_;
    WORD libMajor_ = 0;
    WORD libMinor_ = 0;
    DWORD cookie_ = kNotAdvised;
};

// The default source (event) interface of a control, read from its class
// information, and, when its IDispatch type information says so, the type
// library it comes from with that library's version. Fails when the source
// interface cannot be found; the library fields stay as they were when only
// they are missing.
HRESULT GetObjectSourceInterface(IUnknown* object, GUID* libId, IID* iid, WORD* major, WORD* minor);

// Connection points by interface id.
HRESULT AdviseConnection(IUnknown* container, IUnknown* sink, REFIID iid, DWORD* cookie);
HRESULT UnadviseConnection(IUnknown* container, REFIID iid, DWORD cookie);
