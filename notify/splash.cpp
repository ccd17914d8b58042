#include "notify/splash.h"

#include "notify/window.h"
#include "shell/files.h"
#include "shell/settings.h"

#include <shlwapi.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>

namespace {

constexpr wchar_t kSplashClass[] = L"ZEL_SPLASH_CLASS";
constexpr DWORD kSplashStyle = WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN;
constexpr DWORD kSplashExStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;

class CSplashWnd;
// The one splash while it exists; cleared when its window is gone, however
// it went.
CSplashWnd* g_splash = nullptr;

class CSplashWnd : public OwnedWindow {
public:
    CSplashWnd() = default;
    ~CSplashWnd() override
    {
        if (bitmap_)
            DeleteObject(bitmap_);
    }

protected:
    bool HandleMessage(HWND window, UINT message, WPARAM, LPARAM, LRESULT& result) override
    {
        switch (message) {
        case WM_CREATE:
            OnCreate(window);
            result = 0;
            return true;
        case WM_SIZE:
            OnSize(window);
            result = 0;
            return true;
        default:
            return false;
        }
    }

    void OnWindowGone() override
    {
        if (g_splash == this)
            g_splash = nullptr;
    }

private:
    void OnCreate(HWND window);
    void OnSize(HWND window);
    void LoadPicture();

    std::unique_ptr<DibImage> image_;
    // The static control does not own the bitmap it shows; it goes with the
    // splash.
    HBITMAP bitmap_ = nullptr;
};

void CSplashWnd::LoadPicture()
{
    const wchar_t* installDir = ReadProductRegValue();
    if (!installDir)
        return;
    // The directory ends in a backslash; the doubled separator is harmless.
    std::wstring path = std::wstring(installDir) + L"\\splash.jpg";
    IStream* stream = nullptr;
    if (FAILED(SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, 0, FALSE, nullptr,
                                      &stream)) ||
        !stream)
        return;
    image_ = LoadImageToDib(stream);
    stream->Release();
}

void CSplashWnd::OnCreate(HWND window)
{
    LoadPicture();
    if (!image_)
        return;
    bitmap_ = CreateBitmap(image_->width, image_->height, 1, 32, image_->pixels.data());
    if (!bitmap_)
        return;
    HWND picture = CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_BITMAP, 0, 0, 0, 0, window,
                                   nullptr, GetModuleHandleW(nullptr), nullptr);
    if (picture)
        SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap_));
}

void CSplashWnd::OnSize(HWND window)
{
    if (!image_)
        return;
    RECT workArea = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
    const int x = (workArea.right - image_->width) / 2;
    const int y = (workArea.bottom - image_->height) / 2;
    const int width = x < 0 ? workArea.right : image_->width;
    const int height = y < 0 ? workArea.bottom : image_->height;
    SetWindowPos(window, nullptr, std::max(x, 0), std::max(y, 0), width, height,
                 SWP_NOZORDER | SWP_NOOWNERZORDER);
}

}  // namespace

bool CreateSplashWindow()
{
    if (g_splash)
        return false;
    if (!RegisterOwnedWindowClass(kSplashClass, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS))
        return false;
    auto* splash = new (std::nothrow) CSplashWnd();
    if (!splash)
        return false;
    g_splash = splash;
    // A failed creation has finished the object (and cleared the pointer).
    return splash->CreateOwned(kSplashClass, nullptr, RECT{}, L"Splash", kSplashStyle, kSplashExStyle);
}

void CloseSplashWindow()
{
    if (!g_splash)
        return;
    HWND window = g_splash->Window();
    g_splash = nullptr;
    if (window)
        SendMessageW(window, WM_CLOSE, 0, 0);
}

HWND GetSplashWindow()
{
    return g_splash ? g_splash->Window() : nullptr;
}
