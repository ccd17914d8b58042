// The splash window with pictures written into the install directory.
#include <gtest/gtest.h>

#include "notify_test.h"

#include "driver.h"
#include "notify/splash.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

// A 32-bit bottom-up BMP: the top half one colour, the bottom half another.
// GDI+ reads it by its content, whatever the file is called.
std::string MakeBmp(int width, int height, uint32_t top, uint32_t bottom)
{
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    const uint32_t pixelBytes = static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 4;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + pixelBytes;
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = BI_RGB;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
    bytes.append(reinterpret_cast<const char*>(&info), sizeof(info));
    for (int row = height - 1; row >= 0; --row) {
        const uint32_t colour = row < height / 2 ? top : bottom;
        for (int x = 0; x < width; ++x)
            bytes.append(reinterpret_cast<const char*>(&colour), 4);
    }
    return bytes;
}

std::wstring SplashPath()
{
    return notifytest::InstallDir() + L"\\splash.jpg";
}

void WriteSplash(const std::string& bytes)
{
    HANDLE file = CreateFileW(SplashPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(bytes.size(), written);
}

RECT WorkArea()
{
    RECT area = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

// The pixel of a bitmap at (x, y), rows counted from the top, as 0xRRGGBB.
uint32_t BitmapPixel(HBITMAP bitmap, int x, int y)
{
    BITMAP info = {};
    GetObjectW(bitmap, sizeof(info), &info);
    BITMAPINFO request = {};
    request.bmiHeader.biSize = sizeof(request.bmiHeader);
    request.bmiHeader.biWidth = info.bmWidth;
    request.bmiHeader.biHeight = -info.bmHeight;
    request.bmiHeader.biPlanes = 1;
    request.bmiHeader.biBitCount = 32;
    request.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> pixels(static_cast<size_t>(info.bmWidth) * static_cast<size_t>(info.bmHeight));
    HDC dc = GetDC(nullptr);
    GetDIBits(dc, bitmap, 0, static_cast<UINT>(info.bmHeight), pixels.data(), &request, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    return pixels[static_cast<size_t>(y) * static_cast<size_t>(info.bmWidth) + static_cast<size_t>(x)] &
           0xFFFFFF;
}

class Splash : public ::testing::Test {
protected:
    void TearDown() override
    {
        CloseSplashWindow();
        DeleteFileW(SplashPath().c_str());
    }

    HWND Window()
    {
        HWND window = FindWindowW(L"ZEL_SPLASH_CLASS", L"Splash");
        EXPECT_EQ(GetSplashWindow(), window);
        return window;
    }
};

}  // namespace

TEST_F(Splash, HundredSquarePictureIsDrawnAtFiftyAndCentred)
{
    WriteSplash(MakeBmp(100, 100, 0xFF0000, 0x0000FF));
    ASSERT_TRUE(CreateSplashWindow());
    EXPECT_FALSE(CreateSplashWindow());
    HWND window = Window();
    ASSERT_NE(nullptr, window);

    RECT area = WorkArea();
    RECT rect = {};
    GetWindowRect(window, &rect);
    EXPECT_EQ((area.right - 50) / 2, rect.left);
    EXPECT_EQ((area.bottom - 50) / 2, rect.top);
    EXPECT_EQ(50, rect.right - rect.left);
    EXPECT_EQ(50, rect.bottom - rect.top);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(static_cast<LONG_PTR>(WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN),
              GetWindowLongPtrW(window, GWL_STYLE) & (WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | WS_CAPTION));
    EXPECT_EQ(static_cast<LONG_PTR>(WS_EX_TOOLWINDOW | WS_EX_TOPMOST),
              GetWindowLongPtrW(window, GWL_EXSTYLE) & (WS_EX_TOOLWINDOW | WS_EX_TOPMOST));

    // The picture is a static bitmap control of the picture's size, rows
    // the right way up.
    HWND picture = FindWindowExW(window, nullptr, L"STATIC", nullptr);
    ASSERT_NE(nullptr, picture);
    RECT pictureRect = {};
    GetClientRect(picture, &pictureRect);
    EXPECT_EQ(50, pictureRect.right);
    EXPECT_EQ(50, pictureRect.bottom);
    auto bitmap = reinterpret_cast<HBITMAP>(SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(nullptr, bitmap);
    EXPECT_EQ(0xFF0000u, BitmapPixel(bitmap, 25, 3));
    EXPECT_EQ(0x0000FFu, BitmapPixel(bitmap, 25, 46));

    CloseSplashWindow();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, GetSplashWindow());
    CloseSplashWindow();
    // A new splash can be made once the old one is gone.
    EXPECT_TRUE(CreateSplashWindow());
}

TEST_F(Splash, PictureWiderThanTheWorkAreaStartsAtItsLeft)
{
    RECT area = WorkArea();
    WriteSplash(MakeBmp(area.right + 200, 60, 0x808080, 0x808080));
    ASSERT_TRUE(CreateSplashWindow());
    RECT rect = {};
    GetWindowRect(Window(), &rect);
    EXPECT_EQ(0, rect.left);
    EXPECT_EQ(area.right, rect.right - rect.left);
    EXPECT_EQ((area.bottom - 60) / 2, rect.top);
    EXPECT_EQ(60, rect.bottom - rect.top);
}

TEST_F(Splash, MissingOrUndecodablePictureLeavesAnEmptyWindowThatCloses)
{
    ASSERT_TRUE(CreateSplashWindow());
    HWND window = Window();
    ASSERT_NE(nullptr, window);
    RECT rect = {};
    GetWindowRect(window, &rect);
    EXPECT_TRUE(IsRectEmpty(&rect));
    EXPECT_EQ(nullptr, FindWindowExW(window, nullptr, L"STATIC", nullptr));
    CloseSplashWindow();
    EXPECT_FALSE(IsWindow(window));

    WriteSplash("not a picture at all");
    ASSERT_TRUE(CreateSplashWindow());
    GetWindowRect(Window(), &rect);
    EXPECT_TRUE(IsRectEmpty(&rect));
}

namespace {

// Refuses the creation of every window of this thread while installed.
LRESULT CALLBACK RefuseWindows(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND)
        return 1;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

TEST_F(Splash, RefusedWindowLeavesNoSplashBehind)
{
    HHOOK hook = SetWindowsHookExW(WH_CBT, RefuseWindows, nullptr, GetCurrentThreadId());
    ASSERT_NE(nullptr, hook);
    const bool created = CreateSplashWindow();
    UnhookWindowsHookEx(hook);
    EXPECT_FALSE(created);
    EXPECT_EQ(nullptr, FindWindowW(L"ZEL_SPLASH_CLASS", nullptr));

    // Nothing is held for the splash that never was: the next splash can be
    // made, and it is the one that closes.
    ASSERT_TRUE(CreateSplashWindow());
    HWND window = Window();
    ASSERT_NE(nullptr, window);
    CloseSplashWindow();
    EXPECT_FALSE(IsWindow(window));
}

// The program shows the splash for switch j from its first moment until the
// run ends (here at the start-up error box of a prefix without a theme).
TEST(SplashInProgram, ShownOnlyWithSwitchJ)
{
    zeltest::TempDir programDir(L"notify-splash");
    WriteSplash(MakeBmp(100, 100, 0xFF0000, 0x0000FF));

    zeltest::ZelProcess withSplash;
    ASSERT_TRUE(withSplash.Start(programDir.path(), L"zel.exe", L"j 1"));
    HWND window = zeltest::WaitForWindow(L"ZEL_SPLASH_CLASS", 10000, withSplash.Id());
    ASSERT_NE(nullptr, window);
    // The window is seen as soon as it exists; it takes its size once the
    // picture is decoded.
    RECT rect = {};
    for (int i = 0; i < 100 && (GetWindowRect(window, &rect), IsRectEmpty(&rect)); ++i)
        Sleep(50);
    EXPECT_EQ(50, rect.right - rect.left);
    EXPECT_EQ((WorkArea().bottom - 50) / 2, rect.top);
    std::optional<zeltest::MessageBoxInfo> box = zeltest::WaitForMessageBox(withSplash.Id(), 10000);
    ASSERT_TRUE(box);
    zeltest::DismissMessageBox(box->window);
    EXPECT_EQ(4u, withSplash.Wait());

    zeltest::ZelProcess plain;
    ASSERT_TRUE(plain.Start(programDir.path(), L"zel.exe", L""));
    box = zeltest::WaitForMessageBox(plain.Id(), 10000);
    ASSERT_TRUE(box);
    EXPECT_EQ(nullptr, zeltest::WaitForWindow(L"ZEL_SPLASH_CLASS", 0, plain.Id()));
    zeltest::DismissMessageBox(box->window);
    EXPECT_EQ(4u, plain.Wait());
    DeleteFileW(SplashPath().c_str());
}
