#include "notify/window.h"

bool OwnedWindow::CreateOwned(const wchar_t* className, HWND parent, const RECT& rect, const wchar_t* title,
                              DWORD style, DWORD exStyle)
{
    bool gone = false;
    goneFlag_ = &gone;
    HWND window = Create(className, parent, rect, title, style, exStyle, GetModuleHandleW(nullptr));
    if (gone)
        return false;
    goneFlag_ = nullptr;
    if (window)
        return true;
    // Never bound to a window: nothing else will end it, and whoever keeps
    // the object (the splash pointer) must hear that it is gone.
    OnWindowGone();
    delete this;
    return false;
}

bool OwnedWindow::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                                       DWORD mapId)
{
    if (mapId != 0)
        return false;
    ++depth_;
    const bool handled = HandleMessage(window, message, wParam, lParam, result);
    --depth_;
    if (gone_ && depth_ == 0) {
        // The window went inside this message; the caller does not touch
        // the object after an unhandled message's default processing.
        OnWindowGone();
        delete this;
    }
    return handled;
}

void OwnedWindow::OnFinalMessage(HWND)
{
    if (goneFlag_)
        *goneFlag_ = true;
    if (depth_ > 0) {
        gone_ = true;
        return;
    }
    OnWindowGone();
    delete this;
}

bool RegisterOwnedWindowClass(const wchar_t* className, UINT classStyle)
{
    return WindowImpl::RegisterWindowClass(className, classStyle, GetModuleHandleW(nullptr),
                                           LoadCursorW(nullptr, IDC_ARROW),
                                           reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1)));
}
