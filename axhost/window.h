#pragma once

// A window implemented by a C++ object: the class's window procedure finds
// the object and hands every message to its message map,
// ProcessWindowMessage, which answers true when it handled the message
// (result then holds the answer) and false to pass it to the default
// processing. After the last message (WM_NCDESTROY) the object hears
// OnFinalMessage; it may delete itself there.
//
//     class CMyWindow : public WindowImpl {
//         bool ProcessWindowMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT& result, DWORD) override
//         {
//             switch (message) {
//             case WM_CREATE: result = OnCreate(); return true;
//             }
//             return false;
//         }
//     };
//     WindowImpl::RegisterWindowClass(L"MYCLASS", CS_DBLCLKS, ...);
//     window->Create(L"MYCLASS", parent, rect, L"", style, exStyle, instance);

#include <windows.h>

class WindowImpl {
public:
    WindowImpl() = default;
    WindowImpl(const WindowImpl&) = delete;
    WindowImpl& operator=(const WindowImpl&) = delete;
    virtual ~WindowImpl();

    // Registers a window class whose windows are WindowImpl objects. True
    // also when the class is registered already.
    static bool RegisterWindowClass(const wchar_t* className, UINT style, HINSTANCE instance,
                                    HCURSOR cursor = nullptr, HBRUSH background = nullptr,
                                    HICON icon = nullptr, HICON smallIcon = nullptr);

    // Creates the window of a class registered above, bound to this object.
    // createParam reaches WM_CREATE as lpCreateParams.
    HWND Create(const wchar_t* className, HWND parent, const RECT& rect, const wchar_t* name, DWORD style,
                DWORD exStyle, HINSTANCE instance, HMENU menuOrId = nullptr, void* createParam = nullptr);

    HWND Window() const { return window_; }

    // The message map; message map id 0 for the window's own messages.
    virtual bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                                      DWORD mapId) = 0;
    // After WM_NCDESTROY, when the object no longer has a window.
    virtual void OnFinalMessage(HWND window);

    LRESULT DefaultProcessing(UINT message, WPARAM wParam, LPARAM lParam);

    // The object bound to a window of such a class; null for other windows.
    static WindowImpl* FromWindow(HWND window);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
};
