// The page starts a game: the program hides its window while the game runs
// and comes back when it ends.
#include "interactive.h"

using namespace hoste2e;

TEST_F(InteractiveRun, TheWindowHidesWhileTheGameRuns)
{
    InstallTheme(ZEL_THEME_TESTING_DB, L"testing");
    // An installed game whose executable is the test game.
    const std::wstring install = exeDir_.path() + L"\\Alpha";
    CreateDirectoryW(install.c_str(), nullptr);
    CreateDirectoryW((install + L"\\game").c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(zeltest::WindowsPathFromUnix(ZEL_TEST_GAME).c_str(),
                          (install + L"\\game\\qmgame.exe").c_str(), FALSE));
    Seed("insert into games(id,name,desc,type,path,inst,show,runs) values(7,'Alpha','d',1,'" +
         zeltest::Utf8(install) + "',1,1,0);");
    HANDLE end = CreateEventW(nullptr, TRUE, FALSE, L"ZelHostTestGameEnd");
    ASSERT_NE(nullptr, end);

    HWND window = StartAndWaitForFeed(L"d 1");
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(window) != FALSE; }, 10000));
    ASSERT_TRUE(Evaluate(L"testClear()"));

    // The page starts the game from a timer, so this call returns at once.
    ASSERT_TRUE(Evaluate(L"setTimeout(function () { testCall('gameRun', 7); }, 0)"));
    const std::wstring marker = install + L"\\game\\running.txt";
    ASSERT_TRUE(WaitUntil([&] { return zeltest::FileExists(marker); }, 20000));
    EXPECT_FALSE(IsWindowVisible(window));
    SetEvent(end);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window) != FALSE; }, 20000));
    EXPECT_TRUE(WaitForEntry(L"<gameRun|ok"));
    std::vector<std::wstring> log = PageLog();
    EXPECT_TRUE(Matching(log, L"inMsgBox").empty());
    // The launch was counted, and the page heard of it.
    EXPECT_FALSE(Matching(log, L"inGameUpdate|number:7|").empty());

    // A game that cannot start: the window comes back and the page is told.
    ASSERT_TRUE(Evaluate(L"testClear()"));
    EXPECT_EQ(L"ok", PageCalls(L"'gameRun', 8"));
    log = PageLog();
    const std::vector<std::wstring> expected = {L">gameRun|number:8", L"inMsgBox|number:12", L"<gameRun|ok"};
    EXPECT_EQ(expected, log);
    EXPECT_TRUE(IsWindowVisible(window));
    CloseHandle(end);
    EXPECT_EQ(10u, CloseAndWait());
}
