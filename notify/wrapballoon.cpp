#include "notify/wrapballoon.h"

#include "host/sinks.h"
#include "shell/files.h"
#include "shell/startup.h"

IUnknown* CWrapBalloon::InterfaceFor(REFIID iid)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IWrapCore))
        return static_cast<IWrapCore*>(this);
    return nullptr;
}

STDMETHODIMP CWrapBalloon::windowClose()
{
    if (balloon_)
        SendMessageW(balloon_, WM_CLOSE, 0, 0);
    return S_OK;
}

STDMETHODIMP CWrapBalloon::kernelUrl(BSTR url)
{
    return kernelUrlDirect(url);
}

STDMETHODIMP CWrapBalloon::kernelUrlDirect(BSTR url)
{
    // Links in balloons come with the news from the web service.
    OpenWebAddress(balloon_, url);
    return S_OK;
}

STDMETHODIMP CWrapBalloon::gameSelect(ULONG id)
{
    if (HWND main = GetMainWindow()) {
        ShowWindow(main, SW_SHOWNORMAL);
        SetForegroundWindow(main);
    }
    if (id == 0)
        return S_OK;
    // GetMainSink logs when the sink cannot be made.
    if (CMainSink* sink = GetMainSink())
        sink->inGameSelect(id);
    return S_OK;
}

STDMETHODIMP CWrapBalloon::optionSave(BSTR, BSTR) { return E_NOTIMPL; }
STDMETHODIMP CWrapBalloon::windowInit(USHORT, USHORT) { return E_NOTIMPL; }
STDMETHODIMP CWrapBalloon::windowMove() { return E_NOTIMPL; }
STDMETHODIMP CWrapBalloon::windowMinimize() { return E_NOTIMPL; }
STDMETHODIMP CWrapBalloon::kernelUrlNotify(BSTR) { return E_NOTIMPL; }
STDMETHODIMP CWrapBalloon::kernelLogin(BSTR, BSTR) { return E_NOTIMPL; }
STDMETHODIMP CWrapBalloon::loginUsingVkontakte() { return E_NOTIMPL; }
STDMETHODIMP CWrapBalloon::gameRun(ULONG) { return E_NOTIMPL; }
STDMETHODIMP CWrapBalloon::gameDelete(ULONG) { return E_NOTIMPL; }
STDMETHODIMP CWrapBalloon::gameGetBigIcon(ULONG) { return E_NOTIMPL; }
STDMETHODIMP CWrapBalloon::gameGetSmallIcon(ULONG) { return E_NOTIMPL; }
STDMETHODIMP CWrapBalloon::gameBuy(BSTR, ULONG, ULONG) { return E_NOTIMPL; }
STDMETHODIMP CWrapBalloon::gameCustom(ULONG) { return E_NOTIMPL; }
STDMETHODIMP CWrapBalloon::gameToFacebook(ULONG) { return E_NOTIMPL; }
STDMETHODIMP CWrapBalloon::gameToVkontakte(ULONG) { return E_NOTIMPL; }
STDMETHODIMP CWrapBalloon::shareGameToFacebook(ULONG) { return E_NOTIMPL; }
STDMETHODIMP CWrapBalloon::shareGameToVkontakte(ULONG) { return E_NOTIMPL; }
STDMETHODIMP CWrapBalloon::installYandexPackage(ULONG) { return E_NOTIMPL; }
STDMETHODIMP CWrapBalloon::updateYandexState() { return E_NOTIMPL; }
STDMETHODIMP CWrapBalloon::uiTest(ULONG) { return E_NOTIMPL; }
