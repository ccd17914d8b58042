// The restart from the install directory.

#include "driver.h"
#include "shell/brand.h"
#include "shell/cmdline.h"
#include "shell/startup.h"

#include <gtest/gtest.h>

// The restarted copy must find its own file name, and so its brand, in its
// command line, also when the install directory has a blank in it.
TEST(Restart, StartsTheProgramOfTheInstallDirectory)
{
    CreateWrapConfig();
    zeltest::TempDir temp;
    std::wstring dir = temp.File(L"Zel Games");
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    const std::wstring& exeName = GetExeFileName();
    ASSERT_EQ(L"shell_theme_tests.exe", exeName);
    // A stand-in under the program's name that writes down its command line.
    ASSERT_TRUE(CopyFileW((zeltest::TestExeDir() + L"\\echo_cmdline.exe").c_str(), (dir + L"\\" + exeName).c_str(),
                          FALSE));
    zeltest::SetProductKey(L"zel", dir, 0x4000000);

    RestartSelf();
    std::string bytes;
    for (int i = 0; i < 400 && bytes.empty(); ++i) {
        Sleep(50);
        bytes = zeltest::ReadFileBytes(dir + L"\\cmdline.txt");
    }
    zeltest::DeleteProductKey(L"zel");
    std::wstring commandLine(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    EXPECT_EQ(L"\"" + dir + L"\\" + exeName + L"\"", commandLine);
    EXPECT_EQ(exeName, ExeNameFromCommandLine(commandLine.c_str()).value_or(L""));
    Sleep(200);  // the stand-in has ended: its folder can go
}
