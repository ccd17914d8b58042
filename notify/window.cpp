#include "notify/window.h"

HWND WindowImpl::Create(const wchar_t* className, HWND parent, const wchar_t* title, DWORD style,
                        DWORD exStyle, int x, int y, int width, int height, HINSTANCE instance)
{
    bool bound = false;
    boundFlag_ = &bound;
    HWND window = CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, nullptr,
                                  instance, this);
    if (window)
        return window;
    // Never bound: no window message will ever finish this object.
    if (!bound) {
        boundFlag_ = nullptr;
        OnFinalMessage(nullptr);
    }
    return nullptr;
}

void WindowImpl::OnFinalMessage(HWND) {}

LRESULT CALLBACK WindowImpl::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<WindowImpl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self && message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        self = static_cast<WindowImpl*>(create->lpCreateParams);
        if (self) {
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
            self->window_ = window;
            if (self->boundFlag_)
                *self->boundFlag_ = true;
            self->boundFlag_ = nullptr;
        }
    }
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);

    ++self->depth_;
    LRESULT result = 0;
    if (!self->ProcessWindowMessage(window, message, wParam, lParam, result))
        result = DefWindowProcW(window, message, wParam, lParam);
    --self->depth_;

    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        self->finalPending_ = true;
    }
    if (self->finalPending_ && self->depth_ == 0) {
        self->finalPending_ = false;
        self->OnFinalMessage(window);
    }
    return result;
}

bool RegisterWindowImplClass(const wchar_t* className, UINT classStyle)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW existing = {};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(instance, className, &existing))
        return true;
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = classStyle;
    windowClass.lpfnWndProc = WindowImpl::WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszClassName = className;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}
