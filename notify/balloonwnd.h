#pragma once

// A balloon: a small borderless, topmost, layered window showing the
// theme's balloon page in its own browser. The page is given the item's
// data and answers with the size it wants; the window takes that size and
// joins the balloon stack, which shows it with a fade-in. Closing fades it
// out before the window is destroyed.

#include "notify/balloons.h"
#include "notify/window.h"

#include <cstdint>
#include <optional>
#include <string>

class CBalloonSink;

// One timed effect of a balloon: a 30 ms timer counted in ticks.
class AnimationTimer {
public:
    enum class State { Idle, Running, Done };

    // Nothing without a window; a running or finished timer never restarts.
    void Start(UINT_PTR timerId, HWND window, bool closeWhenDone);
    // Ends a running timer for good; a timer that closes when done then
    // sends WM_CLOSE to its window.
    void Stop();
    // Counts one tick of a running timer; the ticks so far.
    uint32_t Tick();
    // Kills a running timer without its closing (the window is going).
    void Abandon();

    bool IsDone() const { return state_ == State::Done; }
    bool IsRunning() const { return state_ == State::Running; }
    State GetState() const { return state_; }
    uint32_t Ticks() const { return ticks_; }

private:
    uint32_t ticks_ = 0;
    State state_ = State::Idle;
    bool closeWhenDone_ = false;
    HWND window_ = nullptr;
    UINT_PTR timerId_ = 0;
};

constexpr UINT_PTR kFadeInTimer = 1;
constexpr UINT_PTR kFadeOutTimer = 2;
constexpr UINT_PTR kHoldTimer = 4;
constexpr UINT kFadeIntervalMs = 30;
// Magenta pixels of a balloon page are transparent.
constexpr COLORREF kBalloonColorKey = RGB(255, 0, 255);

class CBalloonWnd : public OwnedWindow {
public:
    // Copies both texts (a null text stays null). The balloon joins the
    // given stack (the process-wide one unless told otherwise).
    CBalloonWnd(const wchar_t* text1, const wchar_t* text2, BalloonStack& stack = GetBalloonStack());
    ~CBalloonWnd() override;

    // Creates the hidden balloon window (no parent, default rectangle). The
    // object belongs to its window from here on: false means it is gone.
    bool CreateBalloonWindow();

    // The stack steps of the balloon itself.
    void AddBalloonToStack();
    // Shows the balloon without activating it and starts its fade-in unless
    // that runs or ran already; nothing once the balloon is closing.
    void ShowAndFadeIn();
    void BeginFadeOut();

    const AnimationTimer& FadeIn() const { return fadeIn_; }
    const AnimationTimer& FadeOut() const { return fadeOut_; }
    HWND Host() const { return host_; }

protected:
    bool HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    // The page has loaded: fill it, take its size, join the stack.
    virtual LRESULT OnDocCompleted() = 0;

    // Takes the page's size (the host follows through WM_SIZE).
    void ResizeToPage(int width, int height);
    void CloseLater();

    // A held text as a page argument: null stays null.
    static const wchar_t* Text(const std::optional<std::wstring>& text) { return text ? text->c_str() : nullptr; }
    const std::optional<std::wstring>& Text1() const { return text1_; }
    const std::optional<std::wstring>& Text2() const { return text2_; }
    CBalloonSink* Sink() const { return sink_; }

private:
    void OnCreate(HWND window);
    void OnDestroy();
    // The browser part: the host window on the page, its sink and the
    // page's external object; and its release when the window goes.
    void AttachPage(HWND window);
    void DetachPage();
    void OnFadeInTick();
    void OnFadeOutTick();
    void SetAlpha(BYTE alpha);

    // One reference of the balloon; released when its window goes.
    CBalloonSink* sink_ = nullptr;
    std::optional<std::wstring> text1_;
    std::optional<std::wstring> text2_;
    AnimationTimer fadeIn_;
    AnimationTimer fadeOut_;
    AnimationTimer hold_;
    HWND host_ = nullptr;
    BalloonStack& stack_;
};

// A balloon announcing a newly released game.
class CGameBalloon : public CBalloonWnd {
public:
    CGameBalloon(const wchar_t* name, const wchar_t* description, uint32_t gameId, uint32_t affiliate,
                 BalloonStack& stack = GetBalloonStack());

protected:
    LRESULT OnDocCompleted() override;

private:
    uint32_t gameId_;
    uint32_t affiliate_;
};

// A balloon showing a site news item.
class CNewsBalloon : public CBalloonWnd {
public:
    CNewsBalloon(const wchar_t* title, const wchar_t* description, const wchar_t* image, const wchar_t* link,
                 BalloonStack& stack = GetBalloonStack());

protected:
    LRESULT OnDocCompleted() override;

private:
    std::optional<std::wstring> image_;
    std::optional<std::wstring> link_;
};

// "res://<theme file>/html/balloon.html", formed once by the first balloon
// that finds it empty; empty when it cannot be formed.
const wchar_t* GetBalloonPageUrl();
