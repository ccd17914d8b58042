#include "axhost/window.h"

namespace {

constexpr const wchar_t* kObjectProperty = L"ZelWindowImpl";

// The object whose window is being created on this thread: its first
// messages (WM_GETMINMAXINFO, WM_NCCREATE ...) arrive before CreateWindowExW
// returns the handle.
thread_local WindowImpl* t_creating = nullptr;

}  // namespace

WindowImpl::~WindowImpl()
{
    if (window_ && IsWindow(window_))
        RemovePropW(window_, kObjectProperty);
}

bool WindowImpl::RegisterWindowClass(const wchar_t* className, UINT style, HINSTANCE instance, HCURSOR cursor,
                                     HBRUSH background, HICON icon, HICON smallIcon)
{
    WNDCLASSEXW existing = {};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(instance, className, &existing))
        return existing.lpfnWndProc == WindowProc;
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = style;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = cursor;
    windowClass.hbrBackground = background;
    windowClass.hIcon = icon;
    windowClass.hIconSm = smallIcon;
    windowClass.lpszClassName = className;
    return RegisterClassExW(&windowClass) != 0;
}

HWND WindowImpl::Create(const wchar_t* className, HWND parent, const RECT& rect, const wchar_t* name,
                        DWORD style, DWORD exStyle, HINSTANCE instance, HMENU menuOrId, void* createParam)
{
    if (window_)
        return nullptr;
    WindowImpl* outer = t_creating;
    t_creating = this;
    HWND window = CreateWindowExW(exStyle, className, name, style, rect.left, rect.top, rect.right - rect.left,
                                  rect.bottom - rect.top, parent, menuOrId, instance, createParam);
    t_creating = outer;
    return window;
}

void WindowImpl::OnFinalMessage(HWND) {}

LRESULT WindowImpl::DefaultProcessing(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

WindowImpl* WindowImpl::FromWindow(HWND window)
{
    return static_cast<WindowImpl*>(GetPropW(window, kObjectProperty));
}

// A message map's exception (only an allocation can fail) stops here rather
// than in the system's frames that called the procedure.
LRESULT CALLBACK WindowImpl::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
try {
    WindowImpl* object = FromWindow(window);
    if (!object && t_creating && !t_creating->window_) {
        object = t_creating;
        t_creating = nullptr;
        object->window_ = window;
        SetPropW(window, kObjectProperty, object);
    }
    if (!object)
        return ::DefWindowProcW(window, message, wParam, lParam);

    LRESULT result = 0;
    if (!object->ProcessWindowMessage(window, message, wParam, lParam, result, 0))
        result = ::DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        RemovePropW(window, kObjectProperty);
        object->window_ = nullptr;
        object->OnFinalMessage(window);
    }
    return result;
} catch (...) {
    return 0;
}
