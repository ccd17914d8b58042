#include <gtest/gtest.h>

#include "shell/errorlog.h"
#include "shell/settings.h"

#include <cwchar>

class ErrorRingTest : public ::testing::Test {
protected:
    void SetUp() override { ClearLoggedMessages(); }
    void TearDown() override { ClearLoggedMessages(); }
};

TEST_F(ErrorRingTest, KeepsTheFiveNewestNewestFirst)
{
    for (int i = 1; i <= 7; ++i)
        LogMessage(L"message %d", i);
    EXPECT_EQ(L"Cannot open database.\nmessage 7\nmessage 6\nmessage 5\nmessage 4\nmessage 3",
              StartupErrorText(kStartupErrorDatabase));
}

TEST_F(ErrorRingTest, FixedMessageAloneWhenNothingLogged)
{
    EXPECT_EQ(L"Cannot load the game manager.", StartupErrorText(0));
    EXPECT_EQ(L"Cannot load theme.", StartupErrorText(1));
    EXPECT_EQ(L"Cannot create instance of Internet Explorer.", StartupErrorText(3));
    EXPECT_EQ(L"Cannot create a COM object.", StartupErrorText(4));
    EXPECT_EQ(L"Cannot execute JavaScript function.", StartupErrorText(5));
}

TEST_F(ErrorRingTest, LongMessageIsCut)
{
    std::wstring longText(5000, L'q');
    LogMessage(L"%ls", longText.c_str());
    std::vector<std::wstring> messages = LoggedMessages();
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ(std::wstring(4095, L'q'), messages[0]);
}

TEST_F(ErrorRingTest, FormatsLikePrintf)
{
    LogMessage(L"ExecuteScript: Invoke returned 0x%lx", 0x80020006UL);
    LogMessage(nullptr);
    EXPECT_EQ(std::vector<std::wstring>{L"ExecuteScript: Invoke returned 0x80020006"}, LoggedMessages());
}

TEST_F(ErrorRingTest, CaptionCarriesTheInstalledVersion)
{
    wchar_t expected[64];
    swprintf(expected, 64, L"Quivmark Games. Version 0x%x", static_cast<unsigned>(GetInstalledVersion()));
    EXPECT_EQ(expected, StartupErrorCaption());
}
