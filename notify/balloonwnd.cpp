#include "notify/balloonwnd.h"

#include "shell/instance.h"
#include "shell/theme.h"

#include <cstdio>
#include <new>

namespace {

constexpr wchar_t kBalloonClass[] = L"ZELBALLCLS";
constexpr DWORD kBalloonStyle = WS_POPUP | WS_CLIPCHILDREN;
constexpr DWORD kBalloonExStyle = WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
constexpr size_t kPageUrlChars = 1024;
constexpr uint32_t kAlphaStep = 17;
constexpr uint32_t kFadeOutTicks = 15;

std::optional<std::wstring> CopyText(const wchar_t* text)
{
    if (!text)
        return std::nullopt;
    return std::wstring(text);
}

}  // namespace

void AnimationTimer::Start(UINT_PTR timerId, HWND window, bool closeWhenDone)
{
    if (!window)
        return;
    closeWhenDone_ = closeWhenDone;
    if (state_ != State::Idle)
        return;
    window_ = window;
    timerId_ = SetTimer(window, timerId, kFadeIntervalMs, nullptr);
    if (timerId_)
        state_ = State::Running;
}

void AnimationTimer::Stop()
{
    if (!timerId_ || state_ == State::Idle)
        return;
    KillTimer(window_, timerId_);
    state_ = State::Done;
    timerId_ = 0;
    if (closeWhenDone_ && window_)
        SendMessageW(window_, WM_CLOSE, 0, 0);
}

uint32_t AnimationTimer::Tick()
{
    if (state_ == State::Running)
        ++ticks_;
    return ticks_;
}

void AnimationTimer::Abandon()
{
    if (timerId_)
        KillTimer(window_, timerId_);
    timerId_ = 0;
}

const wchar_t* GetBalloonPageUrl()
{
    static wchar_t url[kPageUrlChars] = {};
    if (!url[0]) {
        const wchar_t* themePath = GetThemeTempPath();
        if (themePath) {
            int length = swprintf(url, kPageUrlChars, L"res://%ls/html/balloon.html", themePath);
            if (length < 0 || static_cast<size_t>(length) >= kPageUrlChars)
                url[0] = L'\0';
        }
    }
    return url;
}

CBalloonWnd::CBalloonWnd(const wchar_t* text1, const wchar_t* text2, BalloonStack& stack)
    : text1_(CopyText(text1)), text2_(CopyText(text2)), stack_(stack)
{
}

CBalloonWnd::~CBalloonWnd()
{
    fadeIn_.Abandon();
    fadeOut_.Abandon();
    hold_.Abandon();
}

bool CBalloonWnd::CreateBalloonWindow()
{
    if (!RegisterOwnedWindowClass(kBalloonClass, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS)) {
        delete this;
        return false;
    }
    // A pop-up window given the default rectangle starts at 0,0 with no
    // size; the page sizes it and the stack places it.
    return CreateOwned(kBalloonClass, nullptr, RECT{}, nullptr, kBalloonStyle, kBalloonExStyle);
}

bool CBalloonWnd::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    result = 0;
    if (message == WM_DOC_COMPLETED && WM_DOC_COMPLETED != 0) {
        result = OnDocCompleted();
        return true;
    }
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return true;
    case WM_DESTROY:
        OnDestroy();
        return false;
    case WM_CLOSE:
        // Only the fade-out's own close destroys the window.
        if (fadeOut_.IsDone())
            return false;
        BeginFadeOut();
        return true;
    case WM_SIZE:
        if (host_)
            SetWindowPos(host_, nullptr, 0, 0, LOWORD(lParam), HIWORD(lParam), SWP_NOZORDER | SWP_NOOWNERZORDER);
        return true;
    case WM_TIMER:
        switch (wParam) {
        case kFadeInTimer:
            OnFadeInTick();
            break;
        case kFadeOutTimer:
            OnFadeOutTick();
            break;
        case kHoldTimer:
            BeginFadeOut();
            break;
        default:
            break;
        }
        return true;
    default:
        return false;
    }
}

void CBalloonWnd::OnCreate(HWND window)
{
    stack_.Adopt(this);
    GetBalloonPageUrl();
    AttachPage(window);
}

void CBalloonWnd::OnDestroy()
{
    DetachPage();
    stack_.RemoveBalloonFromStack(this);
    stack_.Forget(this);
}

void CBalloonWnd::SetAlpha(BYTE alpha)
{
    SetLayeredWindowAttributes(Window(), kBalloonColorKey, alpha, LWA_COLORKEY | LWA_ALPHA);
}

void CBalloonWnd::OnFadeInTick()
{
    // A stray timer message outside the fade changes nothing.
    if (!fadeIn_.IsRunning())
        return;
    const uint32_t alpha = (fadeIn_.Tick() + 1) * kAlphaStep;
    SetAlpha(static_cast<BYTE>(alpha > 255 ? 255 : alpha));
    if (alpha >= 255)
        fadeIn_.Stop();
}

void CBalloonWnd::OnFadeOutTick()
{
    if (!fadeOut_.IsRunning())
        return;
    const uint32_t ticks = fadeOut_.Tick();
    const uint32_t alpha = ticks < kFadeOutTicks ? (kFadeOutTicks - ticks) * kAlphaStep : 0;
    SetAlpha(static_cast<BYTE>(alpha));
    // The stop sends the close that destroys the window.
    if (alpha < kAlphaStep)
        fadeOut_.Stop();
}

void CBalloonWnd::ShowAndFadeIn()
{
    HWND window = Window();
    if (!window)
        return;
    // A balloon already closing (its page may close it while it waits above
    // the screen's top) is not brought up again when room appears below.
    if (fadeOut_.GetState() != AnimationTimer::State::Idle)
        return;
    ShowWindow(window, SW_SHOWNOACTIVATE);
    fadeIn_.Start(kFadeInTimer, window, false);
}

void CBalloonWnd::BeginFadeOut()
{
    fadeIn_.Stop();
    hold_.Stop();
    fadeOut_.Start(kFadeOutTimer, Window(), true);
}

void CBalloonWnd::AddBalloonToStack()
{
    stack_.AddBalloonToStack(this);
}

void CBalloonWnd::ResizeToPage(int width, int height)
{
    // The stack places the balloon; here it only takes its size, and never
    // the focus.
    SetWindowPos(Window(), nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

void CBalloonWnd::CloseLater()
{
    PostMessageW(Window(), WM_CLOSE, 0, 0);
}

CGameBalloon::CGameBalloon(const wchar_t* name, const wchar_t* description, uint32_t gameId, uint32_t affiliate,
                           BalloonStack& stack)
    : CBalloonWnd(name, description, stack), gameId_(gameId), affiliate_(affiliate)
{
}

CNewsBalloon::CNewsBalloon(const wchar_t* title, const wchar_t* description, const wchar_t* image,
                           const wchar_t* link, BalloonStack& stack)
    : CBalloonWnd(title, description, stack), image_(CopyText(image)), link_(CopyText(link))
{
}
