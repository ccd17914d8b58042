#include "axhost/axhost.h"

#include "axhost/hostwindow.h"

// {425B5AF0-65F1-11D1-9611-0000F81E0D0D}
extern "C" const IID IID_IDocHostUIHandlerDispatch = {
    0x425b5af0, 0x65f1, 0x11d1, {0x96, 0x11, 0x00, 0x00, 0xf8, 0x1e, 0x0d, 0x0d}};
// {B6EA2050-048A-11D1-82B9-00C04FB9942E}
extern "C" const IID IID_IAxWinHostWindow = {
    0xb6ea2050, 0x048a, 0x11d1, {0x82, 0xb9, 0x00, 0xc0, 0x4f, 0xb9, 0x94, 0x2e}};

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

HINSTANCE ThisModule()
{
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

// The host window classes: the window text names the control. A window
// whose control cannot be made is not created; one without a text gets a
// host without a control.
LRESULT CALLBACK AxHostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_CREATE)
        return DefWindowProcW(window, message, wParam, lParam);
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    ComObject<CAxHostWindow>* made = nullptr;
    if (FAILED(ComObject<CAxHostWindow>::CreateInstance(&made)))
        return -1;
    ComPtr<IAxWinHostWindow> host = ComPtr<IAxWinHostWindow>::Share(made);
    const wchar_t* name = create ? create->lpszName : nullptr;
    HRESULT hr = (name && *name) ? host->CreateControl(name, window, nullptr) : made->AttachToWindow(window);
    return SUCCEEDED(hr) ? 0 : -1;
}

bool RegisterHostClass(const wchar_t* className)
{
    WNDCLASSEXW existing = {};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(ThisModule(), className, &existing))
        return true;
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    // Global, so dialog templates of any module can name it.
    windowClass.style = CS_GLOBALCLASS | CS_DBLCLKS;
    windowClass.lpfnWndProc = AxHostWindowProc;
    windowClass.hInstance = ThisModule();
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = className;
    return RegisterClassExW(&windowClass) != 0;
}

}  // namespace

bool AxWinInit()
{
    AxGetControlMessage();
    AxGetHostMessage();
    const bool plain = RegisterHostClass(kAxHostWindowClass);
    const bool licensed = RegisterHostClass(kAxHostLicWindowClass);
    return plain && licensed;
}

void UnregisterAxHostClasses(HINSTANCE instance)
{
    UnregisterClassW(kAxHostWindowClass, instance);
    UnregisterClassW(kAxHostLicWindowClass, instance);
}

UINT AxGetControlMessage()
{
    static const UINT message = RegisterWindowMessageW(L"WM_ATLGETCONTROL");
    return message;
}

UINT AxGetHostMessage()
{
    static const UINT message = RegisterWindowMessageW(L"WM_ATLGETHOST");
    return message;
}

namespace {

ComPtr<IUnknown> AskWindow(HWND window, UINT message)
{
    if (!window || !message)
        return nullptr;
    return ComPtr<IUnknown>::Attach(reinterpret_cast<IUnknown*>(SendMessageW(window, message, 0, 0)));
}

}  // namespace

ComPtr<IUnknown> AxGetControl(HWND window)
{
    return AskWindow(window, AxGetControlMessage());
}

ComPtr<IUnknown> AxGetHost(HWND window)
{
    return AskWindow(window, AxGetHostMessage());
}
