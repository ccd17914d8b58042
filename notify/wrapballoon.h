#pragma once

// CWrapBalloon: a balloon page's window.external. The page can close its
// balloon, open a link in the user's browser, or bring up the main window
// with a game selected; every other IWrapCore method answers E_NOTIMPL.

#include "axhost/comobject.h"
#include "axhost/dispatch.h"

#include "res/wrapcore.h"

#include <windows.h>

class CWrapBalloon : public ComObjectRoot, public DispatchFromTypeLib<IWrapCore, &IID_IWrapCore> {
public:
    explicit CWrapBalloon(HWND balloon) : balloon_(balloon) {}

    IUnknown* InterfaceFor(REFIID iid) override;

    STDMETHODIMP windowClose() override;
    STDMETHODIMP kernelUrl(BSTR url) override;
    STDMETHODIMP kernelUrlDirect(BSTR url) override;
    STDMETHODIMP gameSelect(ULONG id) override;

    STDMETHODIMP optionSave(BSTR variable, BSTR value) override;
    STDMETHODIMP windowInit(USHORT width, USHORT height) override;
    STDMETHODIMP windowMove() override;
    STDMETHODIMP windowMinimize() override;
    STDMETHODIMP kernelUrlNotify(BSTR url) override;
    STDMETHODIMP kernelLogin(BSTR login, BSTR password) override;
    STDMETHODIMP loginUsingVkontakte() override;
    STDMETHODIMP gameRun(ULONG id) override;
    STDMETHODIMP gameDelete(ULONG id) override;
    STDMETHODIMP gameGetBigIcon(ULONG id) override;
    STDMETHODIMP gameGetSmallIcon(ULONG id) override;
    STDMETHODIMP gameBuy(BSTR url, ULONG id, ULONG afl) override;
    STDMETHODIMP gameCustom(ULONG id) override;
    STDMETHODIMP gameToFacebook(ULONG id) override;
    STDMETHODIMP gameToVkontakte(ULONG id) override;
    STDMETHODIMP shareGameToFacebook(ULONG id) override;
    STDMETHODIMP shareGameToVkontakte(ULONG id) override;
    STDMETHODIMP installYandexPackage(ULONG id) override;
    STDMETHODIMP updateYandexState() override;
    STDMETHODIMP uiTest(ULONG id) override;

private:
    HWND balloon_;
};
