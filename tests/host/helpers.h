#pragma once

// Shared pieces of the browser host tests: the COM apartment, a message
// pump, and recording stand-ins for the objects the host talks to.

#include "axhost/comobject.h"
#include "axhost/dispatch.h"
#include "axhost/interfaces.h"
#include "shell/com.h"

#include <windows.h>
#include <oleauto.h>

#include <functional>
#include <string>
#include <vector>

namespace hosttest {

// Pumps this thread's messages until done() or the time-out; the answer
// of done() at the end.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);
void PumpFor(DWORD milliseconds);

// A plain visible top-level window for hosts to attach to; destroyed with
// the object.
class TestWindow {
public:
    explicit TestWindow(int width = 320, int height = 240, bool visible = true);
    ~TestWindow();
    HWND get() const { return window_; }

private:
    HWND window_ = nullptr;
};

// A value as text: "u:77", "s:abc", "b:1", "null"...
std::wstring Describe(const VARIANT& value);

// A page's script object: records the names looked up and every call;
// names it does not know answer DISP_E_UNKNOWNNAME.
class FakeScript : public ComObjectRoot, public NoTypeInfoDispatch<IDispatch> {
public:
    struct Call {
        std::wstring name;
        std::vector<std::wstring> args;  // in parameter order
        WORD flags = 0;
        LCID lcid = 0;
        bool iidNull = false;
        UINT argErrorPreset = 0;
        bool namedArgs = false;
    };

    IUnknown* InterfaceFor(REFIID iid) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override;

    std::vector<std::wstring> functions = {L"inRender", L"inMsgBox", L"inOptionLoad", L"inAdUpdate",
                                           L"inGameUpdate", L"inTestQuivmarkSkin", L"inSkinInfo"};
    std::vector<LCID> lookupLocales;
    std::vector<Call> calls;
    HRESULT invokeAnswer = S_OK;
    // What the functions return.
    std::function<void(VARIANT*)> returns;
};

// An external user-interface handler that records the questions.
class FakeUIHandler : public ComObjectRoot, public NoTypeInfoDispatch<IDocHostUIHandlerDispatch> {
public:
    IUnknown* InterfaceFor(REFIID iid) override;

    STDMETHODIMP ShowContextMenu(DWORD id, DWORD x, DWORD y, IUnknown* commandTarget, IDispatch* object,
                                 HRESULT* result) override;
    STDMETHODIMP GetHostInfo(DWORD* flags, DWORD* doubleClick) override;
    STDMETHODIMP ShowUI(DWORD id, IUnknown* activeObject, IUnknown* commandTarget, IUnknown* frame,
                        IUnknown* document, HRESULT* result) override;
    STDMETHODIMP HideUI() override { return Note(L"HideUI"); }
    STDMETHODIMP UpdateUI() override { return Note(L"UpdateUI"); }
    STDMETHODIMP EnableModeless(VARIANT_BOOL) override { return Note(L"EnableModeless"); }
    STDMETHODIMP OnDocWindowActivate(VARIANT_BOOL) override { return Note(L"OnDocWindowActivate"); }
    STDMETHODIMP OnFrameWindowActivate(VARIANT_BOOL) override { return Note(L"OnFrameWindowActivate"); }
    STDMETHODIMP ResizeBorder(long left, long top, long right, long bottom, IUnknown*, VARIANT_BOOL) override;
    STDMETHODIMP TranslateAccelerator(DWORD_PTR, DWORD, DWORD_PTR, DWORD_PTR, BSTR, DWORD, HRESULT*) override;
    STDMETHODIMP GetOptionKeyPath(BSTR* key, DWORD) override;
    STDMETHODIMP GetDropTarget(IUnknown*, IUnknown**) override { return Note(L"GetDropTarget"); }
    STDMETHODIMP GetExternal(IDispatch** object) override;
    STDMETHODIMP TranslateUrl(DWORD, BSTR, BSTR*) override { return Note(L"TranslateUrl"); }
    STDMETHODIMP FilterDataObject(IUnknown*, IUnknown**) override { return Note(L"FilterDataObject"); }

    std::vector<std::wstring> questions;
    HRESULT menuAnswer = S_OK;
    ComPtr<IDispatch> external;

private:
    HRESULT Note(const wchar_t* question);
};

}  // namespace hosttest
