#pragma once

// CWrapMain: the main page's window.external. The page calls these methods
// by name; IDispatch comes from the IWrapCore type library embedded in the
// executable. Every method runs on the UI thread, answers S_OK (gameSelect
// excepted) and tells the page of trouble through inMsgBox codes. A method
// that calls into the rest of the program stops any exception (only an
// allocation can fail) at its own frame and answers E_OUTOFMEMORY: the
// script engine's frames below it never see one.

#include "axhost/comobject.h"
#include "axhost/dispatch.h"

#include "res/wrapcore.h"

#include <windows.h>

#include <string>

// Each byte of a UTF-8 text as two upper-case hexadecimal digits, no
// separators ("abc" gives "616263").
std::string HexEncodeUtf8(const char* text);

class CWrapMain : public ComObjectRoot, public DispatchFromTypeLib<IWrapCore, &IID_IWrapCore> {
public:
    IUnknown* InterfaceFor(REFIID iid) override;

    // The main window: set once, never to null.
    void SetWindow(HWND window);
    HWND Window() const { return window_; }

    STDMETHODIMP optionSave(BSTR variable, BSTR value) override;
    STDMETHODIMP windowInit(USHORT width, USHORT height) override;
    STDMETHODIMP windowMove() override;
    STDMETHODIMP windowClose() override;
    STDMETHODIMP windowMinimize() override;
    STDMETHODIMP kernelUrl(BSTR url) override;
    STDMETHODIMP kernelUrlNotify(BSTR url) override;
    STDMETHODIMP kernelLogin(BSTR login, BSTR password) override;
    STDMETHODIMP loginUsingVkontakte() override;
    STDMETHODIMP gameRun(ULONG id) override;
    STDMETHODIMP gameDelete(ULONG id) override;
    STDMETHODIMP gameSelect(ULONG id) override;
    STDMETHODIMP gameGetBigIcon(ULONG id) override;
    STDMETHODIMP gameGetSmallIcon(ULONG id) override;
    STDMETHODIMP gameBuy(BSTR url, ULONG id, ULONG afl) override;
    STDMETHODIMP gameCustom(ULONG id) override;
    STDMETHODIMP gameToFacebook(ULONG id) override;
    STDMETHODIMP gameToVkontakte(ULONG id) override;
    STDMETHODIMP shareGameToFacebook(ULONG id) override;
    STDMETHODIMP shareGameToVkontakte(ULONG id) override;
    STDMETHODIMP kernelUrlDirect(BSTR url) override;
    STDMETHODIMP installYandexPackage(ULONG id) override;
    STDMETHODIMP updateYandexState() override;
    STDMETHODIMP uiTest(ULONG id) override;

private:
    HWND window_ = nullptr;
};
