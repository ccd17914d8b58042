// The browser part of the balloons: each balloon's page in a host window
// of its own, wired to a CBalloonSink, with a CWrapBalloon as the page's
// window.external; and the filling of the page once it has loaded.
#include "notify/balloonwnd.h"

#include "axhost/axhost.h"
#include "host/browserhost.h"
#include "notify/balloonsink.h"
#include "notify/wrapballoon.h"
#include "shell/theme.h"

#include <utility>

void CBalloonWnd::AttachPage(HWND window)
{
    AxWinInit();
    // Without a theme file there is no page to show; the balloon stays
    // hidden and never joins the stack.
    const wchar_t* url = GetBalloonPageUrl();
    host_ = CreateBrowserHostWindow(window, GetModuleHandleW(nullptr), *url ? url : nullptr);
    if (!host_)
        return;
    ComObject<CBalloonSink>* sink = nullptr;
    if (FAILED(ComObject<CBalloonSink>::CreateInstance(&sink)))
        return;
    // The balloon keeps the sink alive until its window goes.
    sink->UIHandler()->AddRef();
    sink_ = sink;
    if (!AttachBrowserSink(host_, sink_))
        return;
    sink_->SetNotifyWindow(window);

    ComObject<CWrapBalloon>* wrap = nullptr;
    if (FAILED(ComObject<CWrapBalloon>::CreateInstance(&wrap, window)))
        return;
    ComPtr<IDispatch> external;
    if (FAILED(wrap->QueryInterface(IID_IDispatch, external.out_void())) || !external) {
        delete wrap;
        return;
    }
    sink_->SetExternal(external.get());
    SetLayeredWindowAttributes(window, kBalloonColorKey, 0, LWA_COLORKEY | LWA_ALPHA);
}

void CBalloonWnd::DetachPage()
{
    if (!sink_)
        return;
    sink_->Unadvise();
    std::exchange(sink_, nullptr)->UIHandler()->Release();
}

LRESULT CGameBalloon::OnDocCompleted()
{
    CBrowserSink* sink = Sink();
    if (!sink)
        return 0;
    const wchar_t* gamesDll = GetGamesDllPath();
    if (!gamesDll || !sink->inOptionLoad(L"games_dll", gamesDll)) {
        CloseLater();
        return 0;
    }
    SIZE size = {};
    if (!sink->inNewGame(gameId_, affiliate_, Text(Text1()), Text(Text2()), &size)) {
        CloseLater();
        return 0;
    }
    ResizeToPage(size.cx, size.cy);
    AddBalloonToStack();
    return 0;
}

LRESULT CNewsBalloon::OnDocCompleted()
{
    CBrowserSink* sink = Sink();
    if (!sink)
        return 0;
    SIZE size = {};
    if (!sink->inNews(Text(Text1()), Text(Text2()), Text(image_), Text(link_), &size)) {
        CloseLater();
        return 0;
    }
    ResizeToPage(size.cx, size.cy);
    AddBalloonToStack();
    return 0;
}
