#include <gtest/gtest.h>

#include "driver.h"
#include "shell/brand.h"
#include "shell/instance.h"
#include "shell/settings.h"

#include <cstdlib>

class InstanceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CreateWrapConfig(); }
    void TearDown() override { ReleaseInstanceLock(); }
};

TEST_F(InstanceTest, MessagesAreRegisteredBeforeMain)
{
    EXPECT_NE(0u, WM_HTTP_REQUEST_COMPLETED);
    EXPECT_EQ(RegisterWindowMessageW(L"Lorrimel_DocCompletedMsg"), WM_DOC_COMPLETED);
    EXPECT_EQ(RegisterWindowMessageW(L"ZELEXITZEL"), WM_ZEL_EXIT);
    EXPECT_EQ(RegisterWindowMessageA("TaskbarCreated"), WM_TASKBAR_CREATED);
    RegisterSelectGameMessage();
    EXPECT_EQ(RegisterWindowMessageW(L"ZELSELECTGAME"), SelectGameMessage());
}

TEST_F(InstanceTest, LockFileInTheTemporaryDirectory)
{
    EXPECT_EQ(zeltest::TempPath() + L"\\zel_mutex", InstanceLockPath());
}

TEST_F(InstanceTest, HeldLockIsSeenByTheProbeAndGoesWithTheHandle)
{
    EXPECT_FALSE(AcquireInstanceLock(true));  // nobody holds it
    EXPECT_FALSE(AcquireInstanceLock(false));  // taken for good
    EXPECT_TRUE(AcquireInstanceLock(true));  // a second opener is refused
    ReleaseInstanceLock();
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(InstanceLockPath().c_str()));
    EXPECT_FALSE(AcquireInstanceLock(true));
}

TEST_F(InstanceTest, OverlongTemporaryDirectoryMeansNoLock)
{
    wchar_t saved[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TMP", saved, MAX_PATH);
    std::wstring longDir = L"C:\\" + std::wstring(1017, L'd');
    SetEnvironmentVariableW(L"TMP", longDir.c_str());
    EXPECT_EQ(L"", InstanceLockPath());
    EXPECT_FALSE(AcquireInstanceLock(false));
    SetEnvironmentVariableW(L"TMP", saved);
}

TEST_F(InstanceTest, ExitRequestWithoutRunningCopy)
{
    EXPECT_EQ(nullptr, FindRunningInstanceWindow());
    EXPECT_EQ(6, AskRunningInstanceToExit());
}

TEST_F(InstanceTest, ExitRequestToAnOlderCopyOnlyClosesIt)
{
    // A stand-in "running copy": a window of the brand's class on another
    // thread, recording what it receives.
    static UINT received = 0;
    static WPARAM receivedW = 0;
    static LPARAM receivedL = 0;
    zeltest::WindowThread runningCopy(L"ZELCLS", [](HWND window, UINT message, WPARAM w, LPARAM l) CALLBACK -> LRESULT {
        if (message == WM_CLOSE || message == WM_ZEL_EXIT) {
            received = message;
            receivedW = w;
            receivedL = l;
            DestroyWindow(window);
            return 0;
        }
        if (message == WM_DESTROY)
            PostQuitMessage(0);
        return DefWindowProcW(window, message, w, l);
    });
    ASSERT_TRUE(runningCopy.Started());
    ASSERT_NE(nullptr, FindRunningInstanceWindow());

    // No "ver" value: an older copy is sent WM_CLOSE and nothing is awaited.
    EXPECT_EQ(6, AskRunningInstanceToExit());
    EXPECT_TRUE(runningCopy.WaitForEnd(5000));
    EXPECT_EQ(static_cast<UINT>(WM_CLOSE), received);
    EXPECT_EQ(1u, receivedW);
    EXPECT_EQ(1, receivedL);
}

TEST(Settings, InstallDirectoryAndAutorunData)
{
    CreateWrapConfig();
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\zel", 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
    // "ver" 0 is read again on every call.
    DWORD zero = 0;
    RegSetValueExW(key, L"ver", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), sizeof(zero));
    EXPECT_EQ(0u, GetInstalledVersion());
    DWORD version = 0x4020000;
    RegSetValueExW(key, L"ver", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&version), sizeof(version));
    EXPECT_EQ(0x4020000u, GetInstalledVersion());

    EXPECT_EQ(nullptr, ReadProductRegValue());  // no default value yet: read again later
    const wchar_t dir[] = L"C:\\Games\\Zel";
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(dir), sizeof(dir));
    RegCloseKey(key);
    EXPECT_STREQ(L"C:\\Games\\Zel\\", ReadProductRegValue());
    EXPECT_EQ(L"C:\\Games\\Zel", InstallDirWithoutSeparator());
    // The test runs as shell_tests.exe; the program would be zel.exe.
    EXPECT_EQ(L"\"C:\\Games\\Zel\\shell_tests.exe\"", AutorunCommand());

    HKEY run = SetAutorun(nullptr, L"zeltest-autorun");
    ASSERT_NE(nullptr, run);
    wchar_t data[256] = {};
    DWORD size = sizeof(data);
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(run, L"zeltest-autorun", nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(data), &size));
    EXPECT_STREQ(L"\"C:\\Games\\Zel\\shell_tests.exe\"", data);
    RegDeleteValueW(run, L"zeltest-autorun");
    RegCloseKey(run);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\zel");
}

TEST(Settings, UserIdentityIsUpperCased)
{
    EXPECT_FALSE(ReadUserIdentity());
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Identities", 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
    const char id[] = "{ab12-cd}";
    RegSetValueExA(key, "Default User ID", 0, REG_SZ, reinterpret_cast<const BYTE*>(id), sizeof(id));
    RegCloseKey(key);
    EXPECT_EQ("{AB12-CD}", ReadUserIdentity());
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Identities");
}
