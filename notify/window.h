#pragma once

// The notification windows (splash, balloons) own themselves: the object
// lives as long as its window and deletes itself once the window is gone
// and no message of it is still being handled, so a handler may destroy
// the window (a fade-out's last tick does) without the object vanishing
// under it.

#include "axhost/window.h"

class OwnedWindow : public WindowImpl {
public:
    // Creates the window of a class registered with RegisterOwnedWindowClass.
    // The object belongs to its window from here on: false means the window
    // could not be made and the object is gone.
    bool CreateOwned(const wchar_t* className, HWND parent, const RECT& rect, const wchar_t* title, DWORD style,
                     DWORD exStyle);

protected:
    // The message map of the window's own messages: true when handled
    // (result is then the answer), false for the default processing.
    virtual bool HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
    // Just before the object deletes itself.
    virtual void OnWindowGone() {}

private:
    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                              DWORD mapId) final;
    void OnFinalMessage(HWND window) final;

    int depth_ = 0;
    bool gone_ = false;
    bool* goneFlag_ = nullptr;
};

// A window class of the executable's module for OwnedWindow objects (arrow
// cursor, COLOR_WINDOW background); true when registered now or before.
bool RegisterOwnedWindowClass(const wchar_t* className, UINT classStyle);
