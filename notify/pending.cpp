// Stand-ins for the balloon page until the browser host lands: a balloon
// gets no page and never joins the stack.
#include "notify/balloonwnd.h"

void CBalloonWnd::AttachPage(HWND) {}
void CBalloonWnd::DetachPage() {}

LRESULT CGameBalloon::OnDocCompleted()
{
    CloseLater();
    return 0;
}

LRESULT CNewsBalloon::OnDocCompleted()
{
    CloseLater();
    return 0;
}
