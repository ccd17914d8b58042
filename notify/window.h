#pragma once

// A small window implementation base for the notification windows: the
// object is bound to its window from WM_NCCREATE on, sees every message
// through ProcessWindowMessage, and hears OnFinalMessage once its window is
// gone and no message of it is still being handled (so an object may
// delete itself there even when its window was destroyed from inside one
// of its own handlers).

#include <windows.h>

class WindowImpl {
public:
    WindowImpl() = default;
    virtual ~WindowImpl() = default;
    WindowImpl(const WindowImpl&) = delete;
    WindowImpl& operator=(const WindowImpl&) = delete;

    // Creates the window of a class registered with WindowImpl::WindowProc.
    // When this returns null the window is gone and OnFinalMessage has run
    // (with a null window when the object was never bound to one).
    HWND Create(const wchar_t* className, HWND parent, const wchar_t* title, DWORD style, DWORD exStyle,
                int x, int y, int width, int height, HINSTANCE instance);

    HWND Window() const { return window_; }

    // The procedure to register the window classes of subclasses with.
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    // True when the message was handled; result is then its answer.
    virtual bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      LRESULT& result) = 0;
    // After the last message of the window.
    virtual void OnFinalMessage(HWND window);

private:
    HWND window_ = nullptr;
    int depth_ = 0;
    bool finalPending_ = false;
    bool* boundFlag_ = nullptr;
};

// Registers a window class of the executable's module that runs
// WindowImpl::WindowProc; true when it is registered (now or before).
bool RegisterWindowImplClass(const wchar_t* className, UINT classStyle);
