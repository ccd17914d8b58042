// The real program started interactively under Wine, with the stand-in HTML
// engine serving its WebBrowser control and the recording theme as its
// pages: what the page receives, what the program does with the page's
// calls, the start-up failures of the page bridge, and the requests of a
// second copy.
#include "interactive.h"

#include "install/turn.h"

#include <mshtmhst.h>

#include <thread>

using namespace hoste2e;

TEST_F(InteractiveRun, TheWholeCatalogReachesThePageInItsOrder)
{
    InstallTheme(ZEL_THEME_TESTING_DB, L"testing");
    Seed(kTwoGames);
    HWND window = StartAndWaitForFeed(L"d 1");
    ASSERT_NE(nullptr, window);

    const std::vector<std::wstring> log = PageLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(L"inTestQuivmarkSkin", log[0]);
    const ptrdiff_t auth = Position(log, L"inOptionLoad|string:authtoken|string:abc");
    const ptrdiff_t alpha = Position(log, L"inGameUpdate|number:5|number:0|string:Alpha|string:First\\|game|"
                                          L"string: inst |number:20120101|number:2457|number:1|number:3|"
                                          L"string:c5|string:i1|string:i2|string:i3|string:i4|number:7|"
                                          L"string:u5");
    const ptrdiff_t beta = Position(log, L"inGameUpdate|number:6|number:12|string:Бета|string:Second|"
                                         L"string: hide |number:20130202|number:80|number:0|number:0|"
                                         L"string:|string:|string:|string:|string:|number:0|string:");
    const std::vector<std::wstring> iconLibrary = Matching(log, L"inOptionLoad|string:games_dll|");
    ASSERT_EQ(1u, iconLibrary.size());
    const ptrdiff_t games = Position(log, iconLibrary[0]);
    const ptrdiff_t other = Position(log, L"inOptionLoad|string:zeta|string:last");
    const ptrdiff_t version = Position(log, L"inOptionLoad|string:ver|string:4.42");
    const ptrdiff_t render = Position(log, L"inRender|boolean:true");
    EXPECT_LT(0, auth);
    EXPECT_LT(auth, alpha);
    EXPECT_LT(alpha, beta);
    EXPECT_LT(beta, games);
    EXPECT_LT(games, other);
    EXPECT_LT(other, version);
    EXPECT_LT(version, render);
    EXPECT_EQ(static_cast<ptrdiff_t>(log.size()) - 1, render);
    // The icon library lies in the install directory.
    EXPECT_NE(std::wstring::npos, iconLibrary[0].find(L"games.dll"));
    EXPECT_EQ(1u, Matching(log, L"inOptionLoad|string:authtoken|").size());

    // Shown because of d; the window's title comes from the theme (its icons
    // cannot be read from another process under Wine).
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window) != FALSE; }, 10000));
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    EXPECT_STREQ(L"Recording Theme", title);

    EXPECT_EQ(10u, CloseAndWait());
}

TEST_F(InteractiveRun, AnIconLibraryPathTooLongForItsStatementStopsTheOptionsFeed)
{
    InstallTheme(ZEL_THEME_TESTING_DB, L"testing");
    Seed(kTwoGames);
    // An install directory whose icon library path has 995 characters: the
    // statement that feeds it would need 1024.
    const std::wstring games = L"\\games.dll";
    std::wstring installDir = exeDir_.path() + L"\\";
    installDir += std::wstring(995 - games.size() - installDir.size(), L'd');
    zeltest::SetProductKey(kProduct, installDir, kInstalledVersion);
    ASSERT_NE(nullptr, StartAndWaitForFeed());

    // The auth options and the games were fed before; nothing after them
    // but the render call.
    const std::vector<std::wstring> log = PageLog();
    EXPECT_LE(0, Position(log, L"inOptionLoad|string:authtoken|string:abc"));
    EXPECT_EQ(2u, Matching(log, L"inGameUpdate|").size());
    EXPECT_TRUE(Matching(log, L"inOptionLoad|string:games_dll|").empty());
    EXPECT_TRUE(Matching(log, L"inOptionLoad|string:zeta|").empty());
    EXPECT_TRUE(Matching(log, L"inOptionLoad|string:ver|").empty());
    EXPECT_EQ(L"inRender|boolean:true", log.back());

    EXPECT_EQ(10u, CloseAndWait());
}

TEST_F(InteractiveRun, ChangesReachThePageThroughTheTriggersAndRefreshesRepeatTheFeed)
{
    InstallTheme(ZEL_THEME_TESTING_DB, L"testing");
    Seed(kTwoGames);
    HWND window = StartAndWaitForFeed();
    ASSERT_NE(nullptr, window);
    // Without r or d the page load does not show the window.
    EXPECT_FALSE(IsWindowVisible(window));
    ASSERT_TRUE(Evaluate(L"testClear()"));

    // An option written by the page comes back to it at once.
    EXPECT_EQ(L"ok", PageCalls(L"'optionSave', 'HideGameNews', '1'"));
    std::vector<std::wstring> log = PageLog();
    const std::vector<std::wstring> expected = {L">optionSave|string:HideGameNews|string:1",
                                                L"inOptionLoad|string:HideGameNews|string:1", L"<optionSave|ok"};
    EXPECT_EQ(expected, log);

    // A game changed on the program's connection (the authid option runs its
    // value there) reaches the page with the rating rule applied.
    ASSERT_TRUE(Evaluate(L"testClear()"));
    EXPECT_EQ(L"ok", PageCalls(L"'optionSave', 'authid', 'update games set rating=0, runs=9 where id=6'"));
    log = PageLog();
    const std::vector<std::wstring> games = Matching(log, L"inGameUpdate|");
    ASSERT_EQ(1u, games.size());
    EXPECT_EQ(0u, games[0].find(L"inGameUpdate|number:6|number:12|string:Бета|string:Second|string: hide |"
                                L"number:20130202|number:2457|number:0|number:9|"));

    // Selecting a game refreshes the page: the whole feed runs again after
    // the method has returned.
    ASSERT_TRUE(Evaluate(L"testClear()"));
    EXPECT_EQ(L"ok", PageCalls(L"'optionSave', 'lastselectgame', '5'"));
    ASSERT_TRUE(WaitForFeed());
    log = PageLog();
    EXPECT_LT(Position(log, L"<optionSave|ok"), Position(log, L"inTestQuivmarkSkin"));
    // The authid option's statement runs again with the auth options, then
    // both games follow.
    EXPECT_EQ(3u, Matching(log, L"inGameUpdate|").size());

    EXPECT_EQ(10u, CloseAndWait());
}

TEST_F(InteractiveRun, PageMethodsOnTheWindow)
{
    InstallTheme(ZEL_THEME_TESTING_DB, L"testing");
    HWND window = StartAndWaitForFeed();
    ASSERT_NE(nullptr, window);

    EXPECT_EQ(L"ok", PageCalls(L"'windowInit', 400, 300"));
    RECT rect = {};
    GetWindowRect(window, &rect);
    EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - 400) / 2, rect.left);
    EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - 300) / 2, rect.top);
    EXPECT_EQ(400, rect.right - rect.left);
    EXPECT_FALSE(IsWindowVisible(window));

    ShowWindow(window, SW_SHOWNORMAL);
    EXPECT_EQ(L"ok", PageCalls(L"'windowClose'"));
    EXPECT_FALSE(IsWindowVisible(window));  // still running, in the tray
    EXPECT_TRUE(process_.Running());

    // The main page cannot select games; the script sees the failure.
    EXPECT_EQ(L"error:0x80004001", PageCalls(L"'gameSelect', 5"));
    EXPECT_EQ(L"ok", PageCalls(L"'uiTest', 5"));

    EXPECT_EQ(10u, CloseAndWait());
}

// The page's remove never waits for an installer's turn (held here by
// another thread): the user is told to come back, the window keeps
// answering a second start, and once the turn is free the remove works.
TEST_F(InteractiveRun, ThePagesRemoveDoesNotWaitForAnInstallersTurn)
{
    InstallTheme(ZEL_THEME_TESTING_DB, L"testing");
    Seed(kTwoGames);
    HWND window = StartAndWaitForFeed();
    ASSERT_NE(nullptr, window);
    const std::optional<std::wstring> name = InstallTurnName(Catalog().c_str());
    ASSERT_TRUE(name);
    HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread installer([&] {
        HANDLE turn = CreateMutexW(nullptr, TRUE, name->c_str());
        SetEvent(taken);
        WaitForSingleObject(done, 20000);
        ReleaseMutex(turn);
        CloseHandle(turn);
    });
    WaitForSingleObject(taken, 10000);
    EXPECT_EQ(L"ok", PageCalls(L"'gameDelete', 5"));
    EXPECT_TRUE(WaitForEntry(L"inMsgBox|number:14", 2000));
    EXPECT_EQ(5u, Run(L""));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window) != FALSE; }, 2000));
    TestDb db(Catalog());
    EXPECT_NE("NULL", db.Text("select ifnull(inst, 'NULL') from games where id=5").value_or(""));
    SetEvent(done);
    installer.join();
    CloseHandle(taken);
    CloseHandle(done);
    EXPECT_EQ(L"ok", PageCalls(L"'gameDelete', 5"));
    EXPECT_EQ("NULL", db.Text("select ifnull(inst, 'NULL') from games where id=5").value_or(""));
    EXPECT_EQ(10u, CloseAndWait());
}

TEST_F(InteractiveRun, APageWithoutTheProbeEndsTheRun)
{
    InstallTheme(ZEL_THEME_TESTING_NOPROBE_DB, L"testing-noprobe");
    Start(L"d 1");
    std::optional<MessageBoxInfo> box = zeltest::WaitForMessageBox(process_.Id(), 30000);
    ASSERT_TRUE(box);
    EXPECT_EQ(0u, box->text.find(L"Cannot execute JavaScript function."));
    EXPECT_NE(std::wstring::npos, box->text.find(L"OnDocCompleted: function inTestQuivmarkSkin"));
    EXPECT_NE(std::wstring::npos, box->text.find(L"OnDocCompleted: theme version 1"));
    EXPECT_NE(std::wstring::npos, box->text.find(L"OnDocCompleted: main URL res://"));
    EXPECT_NE(std::wstring::npos, box->text.find(L"ExecuteScript: GetIDsOfNames returned 0x80020006"));
    zeltest::DismissMessageBox(box->window);
    EXPECT_EQ(4u, process_.Wait(30000));
}

TEST_F(InteractiveRun, AThemeWithoutSmallIconOrTitleCannotMakeTheWindow)
{
    struct Case {
        const char* db;
        const wchar_t* name;
    };
    for (const Case& theme :
         {Case{ZEL_THEME_TESTING_NOSMALL_DB, L"testing-nosmall"}, Case{ZEL_THEME_TESTING_NOTITLE_DB, L"testing-notitle"}}) {
        InstallTheme(theme.db, theme.name);
        Start();
        std::optional<MessageBoxInfo> box = zeltest::WaitForMessageBox(process_.Id(), 30000);
        ASSERT_TRUE(box) << theme.db;
        EXPECT_EQ(0u, box->text.find(L"Cannot load the game manager.")) << theme.db;
        zeltest::DismissMessageBox(box->window);
        EXPECT_EQ(4u, process_.Wait(30000)) << theme.db;
    }
}

TEST_F(InteractiveRun, WithoutAnHtmlEngineTheRunEnds)
{
    InstallTheme(ZEL_THEME_TESTING_DB, L"testing");
    // Switch the engine off in this prefix for the run, and on again after.
    const std::wstring setup = zeltest::WindowsPathFromUnix(ZEL_HTMLENGINE_SETUP);
    ASSERT_EQ(0u, RunProgramFile(setup, L"off"));
    Start();
    std::optional<MessageBoxInfo> box = zeltest::WaitForMessageBox(process_.Id(), 30000);
    EXPECT_EQ(0u, RunProgramFile(setup, L"on"));
    ASSERT_TRUE(box);
    EXPECT_EQ(0u, box->text.find(L"Cannot create instance of Internet Explorer."));
    zeltest::DismissMessageBox(box->window);
    EXPECT_EQ(4u, process_.Wait(30000));
}

TEST_F(InteractiveRun, ASecondCopyHandsItsRequestOver)
{
    InstallTheme(ZEL_THEME_TESTING_DB, L"testing");
    Seed(kTwoGames);
    HWND window = StartAndWaitForFeed();
    ASSERT_NE(nullptr, window);
    ASSERT_FALSE(IsWindowVisible(window));
    ASSERT_TRUE(Evaluate(L"testClear()"));

    // A plain second start shows the running copy and ends with 5.
    EXPECT_EQ(5u, Run(L""));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window) != FALSE; }, 10000));

    // Selecting a shown game (the new numbering: v) reaches the page.
    ShowWindow(window, SW_HIDE);
    EXPECT_EQ(5u, Run(L"r 5 v 1"));
    EXPECT_TRUE(WaitForEntry(L"inGameSelect|number:5"));
    EXPECT_TRUE(IsWindowVisible(window));

    // A hidden game shows the window but selects nothing.
    ASSERT_TRUE(Evaluate(L"testClear()"));
    EXPECT_EQ(5u, Run(L"r 6 v 1"));
    Sleep(1000);
    EXPECT_TRUE(Matching(PageLog(), L"inGameSelect").empty());

    // An installer asking the running copy to exit waits for its end.
    EXPECT_EQ(7u, Run(L"x 1 e 1"));
    EXPECT_EQ(10u, process_.Wait(30000));
}

TEST_F(InteractiveRun, RestartStartsTheProgramAgainFromTheInstallDirectory)
{
    InstallTheme(ZEL_THEME_TESTING_DB, L"testing");
    HWND window = StartAndWaitForFeed();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(zeltest::PostRegisteredMessage(window, L"ZELRESTART", 0, 0));
    EXPECT_EQ(9u, process_.Wait(30000));

    // The new copy runs from the install directory; ask it to end.
    HWND again = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            again = zeltest::WaitForWindow(kMainWindowClass, 0);
            return again && WindowProcess(again) != process_.Id();
        },
        30000));
    EXPECT_EQ(7u, Run(L"x 1 e 1"));
}

TEST_F(InteractiveRun, TheBrowserAsksTheHostAndTheMainSinkAnswers)
{
    InstallTheme(ZEL_THEME_TESTING_DB, L"testing");
    ASSERT_NE(nullptr, StartAndWaitForFeed());

    const std::vector<std::string> trace = TraceLines();
    auto traced = [&](const std::string& line) {
        return std::find(trace.begin(), trace.end(), line) != trace.end();
    };
    EXPECT_TRUE(traced("host\tGetHostInfo flags 0x0000000C -> 0x00000000"));
    EXPECT_TRUE(traced("host\tGetOptionKeyPath Software\\zel\\bro -> 0x00000000"));
    EXPECT_TRUE(traced("host\tGetOverrideKeyPath Software\\zel\\bro -> 0x00000000"));

    // A right click in an edit field gets the browser's own menu; one on an
    // image or the background gets none.
    HWND hook = MainPageHook();
    ASSERT_NE(nullptr, hook);
    const UINT contextMenu = RegisterWindowMessageW(htmlengine::kContextMenuMessage);
    EXPECT_EQ(S_FALSE, static_cast<HRESULT>(SendMessageW(hook, contextMenu, CONTEXT_MENU_CONTROL, MAKELPARAM(5, 5))));
    EXPECT_EQ(S_OK, static_cast<HRESULT>(SendMessageW(hook, contextMenu, CONTEXT_MENU_IMAGE, MAKELPARAM(5, 5))));
    EXPECT_EQ(S_OK, static_cast<HRESULT>(SendMessageW(hook, contextMenu, CONTEXT_MENU_DEFAULT, MAKELPARAM(5, 5))));

    EXPECT_EQ(10u, CloseAndWait());
}

TEST_F(InteractiveRun, TheDefaultThemeFillsItselfWithoutAScriptError)
{
    InstallTheme(ZEL_THEME_DEFAULT_DB, L"default");
    Seed(kTwoGames);
    Start(L"d 1");
    HWND window = MainWindow();
    ASSERT_NE(nullptr, window);
    auto rendered = [&] {
        for (const std::string& line : TraceLines())
            if (line.compare(0, 14, "call\tinRender(") == 0)
                return true;
        return false;
    };
    ASSERT_TRUE(WaitUntil(rendered, 20000));

    // The hidden game is not listed.
    EXPECT_EQ(L"1 game", Evaluate(L"document.getElementById('gameCount').innerText"));
    EXPECT_EQ(L"Version 4.42", Evaluate(L"document.getElementById('version').innerText"));
    // The page sized the window through windowInit.
    RECT rect = {};
    GetWindowRect(window, &rect);
    EXPECT_EQ(800, rect.right - rect.left);
    EXPECT_EQ(560, rect.bottom - rect.top);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window) != FALSE; }, 10000));
    for (const std::string& line : TraceLines()) {
        EXPECT_NE(0u, line.compare(0, 6, "error\t")) << line;
        EXPECT_EQ(std::string::npos, line.find(" failed 0x")) << line;
    }
    EXPECT_EQ(10u, CloseAndWait());
}

TEST_F(InteractiveRun, LoginAndIconRequestsGoToTheWebServiceAndTheirRepliesBack)
{
    zeltest::HttpServer server;
    ASSERT_TRUE(server.Listening());
    SetProductValue(L"ServiceUrl", server.WideUrl());
    // The login answers with statements for the catalog (each ended by a
    // NUL, the list by an empty one).
    server.Reply("/zel_login.php",
                 zeltest::CompressedReply(std::string("insert or replace into opt(var,val) values('member','yes')") +
                                          '\0' + '\0'));
    server.Reply("/get_sml_icon.php", zeltest::TextReply("SMALLPICTURE"));
    // The icon library the replies are written into.
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    ASSERT_TRUE(CopyFileW(self, (exeDir_.path() + L"\\games.dll").c_str(), FALSE));

    InstallTheme(ZEL_THEME_TESTING_DB, L"testing");
    ASSERT_NE(nullptr, StartAndWaitForFeed());

    EXPECT_EQ(L"ok", PageCalls(L"'kernelLogin', 'abc', 'п'"));
    ASSERT_TRUE(server.WaitForRequests("/zel_login.php", 1));
    std::optional<zeltest::SeenRequest> login = server.LastRequest("/zel_login.php");
    ASSERT_TRUE(login);
    EXPECT_EQ("app=testing", login->query);
    EXPECT_EQ("616263", login->Header("AuthLogin").value_or("?"));
    EXPECT_EQ("D0BF", login->Header("AuthPassword").value_or("?"));
    // The reply's statement ran on the catalog, and the page heard of it.
    EXPECT_TRUE(WaitForEntry(L"inOptionLoad|string:member|string:yes"));

    EXPECT_EQ(L"ok", PageCalls(L"'gameGetSmallIcon', 310"));
    ASSERT_TRUE(server.WaitForRequests("/get_sml_icon.php", 1));
    EXPECT_EQ("app=testing&id=310", server.LastRequest("/get_sml_icon.php")->query);

    // An address nobody answers: the page is told and nothing opens.
    ASSERT_TRUE(Evaluate(L"testClear()"));
    const std::wstring unreachable =
        L"'kernelUrl', 'http://127.0.0.1:" + std::to_wstring(zeltest::UnusedLocalPort()) + L"/'";
    EXPECT_EQ(L"ok", PageCalls(unreachable));
    EXPECT_FALSE(Matching(PageLog(), L"inMsgBox|number:11").empty());

    // The icon reply goes into the library once its worker has finished;
    // a reply still on its way when the program ends would be lost.
    const std::wstring libraryPath = exeDir_.path() + L"\\games.dll";
    // Mapping the library while the program rewrites it would make its
    // write fail; look inside only once the file has changed.
    WIN32_FILE_ATTRIBUTE_DATA copied = {};
    ASSERT_TRUE(GetFileAttributesExW(libraryPath.c_str(), GetFileExInfoStandard, &copied));
    for (DWORD start = GetTickCount(); GetTickCount() - start < 20000; Sleep(100)) {
        WIN32_FILE_ATTRIBUTE_DATA now = {};
        if (GetFileAttributesExW(libraryPath.c_str(), GetFileExInfoStandard, &now) &&
            (now.nFileSizeLow != copied.nFileSizeLow ||
             CompareFileTime(&now.ftLastWriteTime, &copied.ftLastWriteTime) != 0))
            break;
    }
    Sleep(500);
    DWORD pictureSize = 0;
    for (DWORD start = GetTickCount(); !pictureSize && GetTickCount() - start < 10000; Sleep(500)) {
        if (HMODULE library = LoadLibraryExW(libraryPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
            if (HRSRC picture = FindResourceW(library, L"S310.PIC", L"SMALL"))
                pictureSize = SizeofResource(library, picture);
            FreeLibrary(library);
        }
    }
    EXPECT_EQ(12u, pictureSize);
    EXPECT_EQ(10u, CloseAndWait());
}

TEST_F(InteractiveRun, SkinInformationCustomKeysStoreProbesAndTheShareDialog)
{
    zeltest::HttpServer server;
    ASSERT_TRUE(server.Listening());
    SetProductValue(L"ServiceUrl", server.WideUrl());
    InstallTheme(ZEL_THEME_TESTING_DB, L"testing");
    Seed("insert into games(id,name,desc,show,custom) values(310,'Custom','d',1,'{\"key\":\"CODE-1\"}');");
    ASSERT_NE(nullptr, StartAndWaitForFeed());

    // A skin text of 300 characters is no usable text: the address gets
    // none, and the next request asks the page again.
    ASSERT_TRUE(Evaluate(L"testReturn('inSkinInfo', new Array(301).join('x'))"));
    ASSERT_TRUE(Evaluate(L"testClear()"));
    EXPECT_EQ(L"ok", PageCalls(L"'gameGetBigIcon', 310"));
    EXPECT_EQ(L"ok", PageCalls(L"'gameGetBigIcon', 310"));
    ASSERT_TRUE(server.WaitForRequests("/get_big_icon.php", 2));
    EXPECT_EQ(2u, Matching(PageLog(), L"inSkinInfo").size());
    // A usable text is asked for once and kept for the rest of the run.
    ASSERT_TRUE(Evaluate(L"testReturn('inSkinInfo', 'abc')"));
    EXPECT_EQ(L"ok", PageCalls(L"'gameGetBigIcon', 310"));
    ASSERT_TRUE(Evaluate(L"testReturn('inSkinInfo', 'zzz')"));
    EXPECT_EQ(L"ok", PageCalls(L"'gameGetBigIcon', 311"));
    ASSERT_TRUE(server.WaitForRequests("/get_big_icon.php", 4));
    // Each request runs on its own worker: they may arrive in any order.
    std::vector<std::string> queries;
    for (const zeltest::SeenRequest& request : server.Requests())
        if (request.path == "/get_big_icon.php")
            queries.push_back(request.query);
    std::sort(queries.begin(), queries.end());
    EXPECT_EQ((std::vector<std::string>{"app=&id=310", "app=&id=310", "app=abc&id=310", "app=abc&id=311"}),
              queries);
    EXPECT_EQ(3u, Matching(PageLog(), L"inSkinInfo").size());

    // Only the custom-data games show the code: the key and the code as two
    // arguments.
    ASSERT_TRUE(Evaluate(L"testClear()"));
    EXPECT_EQ(L"ok", PageCalls(L"'gameCustom', 5"));
    EXPECT_EQ(L"ok", PageCalls(L"'gameCustom', 407"));
    EXPECT_EQ(std::vector<std::wstring>{L"inMsgBox|number:402|string:CODE-1"}, Matching(PageLog(), L"inMsgBox"));

    // The store is probed without the url's query; unreachable, the page is
    // told.
    ASSERT_TRUE(Evaluate(L"testClear()"));
    const std::wstring store = L"'" + server.WideUrl("store") + L"?game=5'";
    EXPECT_EQ(L"ok", PageCalls(L"'gameBuy', " + store + L", 5, 0"));
    std::optional<zeltest::SeenRequest> probe = server.LastRequest("/store");
    ASSERT_TRUE(probe);
    EXPECT_EQ("", probe->query);
    EXPECT_EQ(L"ok", PageCalls(L"'gameBuy', '" + server.WideUrl("shop") + L"', 5, 0"));
    EXPECT_EQ(1u, server.CountRequests("/shop"));
    EXPECT_EQ(L"ok", PageCalls(L"'kernelUrl', ''"));
    EXPECT_EQ((std::vector<std::wstring>{L"inMsgBox|number:13", L"inMsgBox|number:13", L"inMsgBox|number:11"}),
              Matching(PageLog(), L"inMsgBox"));

    // Logged in already: the page's share dialog for the game, network 0.
    EXPECT_EQ(L"ok", PageCalls(L"'optionSave', 'vkontakte_access_token', 'tok'"));
    EXPECT_EQ(L"ok", PageCalls(L"'optionSave', 'vkontakte_user_id', '42'"));
    ASSERT_TRUE(Evaluate(L"testClear()"));
    EXPECT_EQ(L"ok", PageCalls(L"'gameToVkontakte', 77"));
    const std::vector<std::wstring> expected = {L">gameToVkontakte|number:77", L"inShowShareDialog|number:77|number:0",
                                                L"<gameToVkontakte|ok"};
    EXPECT_EQ(expected, PageLog());

    EXPECT_EQ(10u, CloseAndWait());
}

TEST_F(InteractiveRun, SharingAGameNeedsALoginAndPostsToTheWall)
{
    zeltest::HttpServer server;
    ASSERT_TRUE(server.Listening());
    std::wstring origin = server.WideUrl();
    origin.pop_back();  // the API host's origin, without its final "/"
    SetProductValue(L"VkontakteApiHost", origin);
    SetProductValue(L"SiteDomain", L"site.test");
    server.Reply("/method/wall.post", zeltest::TextReply("{\"response\":{\"post_id\":5}}"));

    InstallTheme(ZEL_THEME_TESTING_DB, L"testing");
    Seed("insert into games(id,ident,name,desc,show) values(77,'my_game','My Game','d',1);");
    ASSERT_NE(nullptr, StartAndWaitForFeed());
    ASSERT_TRUE(Evaluate(L"testClear()"));

    // Not logged in to either network.
    EXPECT_EQ(L"ok", PageCalls(L"'shareGameToVkontakte', 77"));
    EXPECT_EQ(L"ok", PageCalls(L"'shareGameToFacebook', 77"));
    // No such game: nothing at all.
    EXPECT_EQ(L"ok", PageCalls(L"'shareGameToVkontakte', 78"));
    EXPECT_EQ((std::vector<std::wstring>{L"inMsgBox|number:312", L"inMsgBox|number:302"}),
              Matching(PageLog(), L"inMsgBox"));
    EXPECT_EQ(0u, server.CountRequests("/method/wall.post"));

    EXPECT_EQ(L"ok", PageCalls(L"'optionSave', 'vkontakte_access_token', 'tok'"));
    EXPECT_EQ(L"ok", PageCalls(L"'optionSave', 'vkontakte_user_id', '42'"));
    ASSERT_TRUE(Evaluate(L"testClear()"));
    EXPECT_EQ(L"ok", PageCalls(L"'shareGameToVkontakte', 77"));
    std::optional<zeltest::SeenRequest> post = server.LastRequest("/method/wall.post");
    ASSERT_TRUE(post);
    EXPECT_NE(std::string::npos, post->query.find("owner_id=42"));
    EXPECT_NE(std::string::npos, post->query.find("access_token=tok"));
    // The game's review page, its ident's underscores as hyphens.
    EXPECT_NE(std::string::npos, post->query.find("site.test"));
    EXPECT_NE(std::string::npos, post->query.find("game-my-game"));
    EXPECT_NE(std::string::npos, post->query.find("hit-vk"));
    EXPECT_EQ(std::vector<std::wstring>{L"inMsgBox|number:310"}, Matching(PageLog(), L"inMsgBox"));

    EXPECT_EQ(10u, CloseAndWait());
}
