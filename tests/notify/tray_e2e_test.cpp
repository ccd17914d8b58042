// The tray and the splash of the real program: the main page loaded by the
// stand-in HTML engine from the recording theme brings the tray icon; the
// main window routes the tray's messages and the menu's commands.
#include "interactive.h"

#include <shellapi.h>

using namespace hoste2e;

namespace {

// Whether the shell shows the program's icon (another process may ask with
// the same identity).
bool IconShown(HWND window)
{
    NOTIFYICONDATAW probe = {};
    probe.cbSize = sizeof(probe);
    probe.hWnd = window;
    probe.uID = 16;
    return Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
}

std::optional<std::wstring> AutorunValue()
{
    wchar_t data[2048] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", L"zel.exe",
                     RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(data);
}

class ProgramTray : public InteractiveRun {
protected:
    void SendCommand(HWND window, WORD command)
    {
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    }
};

}  // namespace

TEST_F(ProgramTray, IconMenuAndClicksWorkOnTheMainWindow)
{
    InstallTheme(ZEL_THEME_TESTING_DB, L"testing");
    HWND window = StartAndWaitForFeed(L"d 1");
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(WaitUntil([&] { return IconShown(window); }, 10000));
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(window) != FALSE; }, 10000));
    EXPECT_EQ(Quoted(exeDir_.path() + L"\\zel.exe"), AutorunValue());

    // A left click on the icon hides the window, the next shows it again.
    zeltest::PostRegisteredMessage(window, L"Lorrimel_TrayNotify", 16, WM_LBUTTONUP);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(window); }, 10000));
    zeltest::PostRegisteredMessage(window, L"Lorrimel_TrayNotify", 16, WM_LBUTTONUP);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window) != FALSE; }, 10000));

    // The autostart item switches the Run value off.
    SendCommand(window, 259);
    EXPECT_TRUE(WaitUntil([&] { return !AutorunValue(); }, 10000));

    // Unchecking the game news stores the opposite sense, which the page
    // hears through the option feed.
    SendCommand(window, 267);
    EXPECT_TRUE(WaitForEntry(L"inOptionLoad|string:HideGameNews|string:yes"));
    SendCommand(window, 268);
    EXPECT_TRUE(WaitForEntry(L"inOptionLoad|string:HideSiteNews|string:yes"));

    // The shell restarts: its icons are gone until "TaskbarCreated".
    NOTIFYICONDATAW gone = {};
    gone.cbSize = sizeof(gone);
    gone.hWnd = window;
    gone.uID = 16;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &gone));
    ASSERT_FALSE(IconShown(window));
    PostMessageW(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return IconShown(window); }, 10000));

    // The exit item ends the run normally; the icon goes with it.
    SendCommand(window, 260);
    EXPECT_EQ(0u, process_.Wait(30000));
    EXPECT_FALSE(IconShown(window));
}

TEST_F(ProgramTray, SplashClosesOnceThePageHasLoaded)
{
    InstallTheme(ZEL_THEME_TESTING_DB, L"testing");
    // A picture GDI+ reads whatever the file is called: 2 x 2 pixels.
    const unsigned char bmp[] = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0,
                                 1, 0, 32, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                 0, 0, 255, 0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 255, 0, 0, 255, 255};
    ASSERT_TRUE(zeltest::WriteFileBytes(exeDir_.File(L"splash.jpg"),
                                        std::string(reinterpret_cast<const char*>(bmp), sizeof(bmp))));
    ASSERT_NE(nullptr, StartAndWaitForFeed(L"j 1 d 1"));
    EXPECT_TRUE(WaitUntil([&] { return !zeltest::WaitForWindow(L"ZEL_SPLASH_CLASS", 0, process_.Id()); }, 5000));
    EXPECT_EQ(10u, CloseAndWait());
}
