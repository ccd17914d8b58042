// Balloons with their real pages: the recording theme's balloon page in the
// stand-in HTML engine, filled by the program and talking back through its
// window.external.
#include <gtest/gtest.h>

#include "notify_test.h"

#include "axhost/axhost.h"
#include "host/sinks.h"
#include "catalog/catalog.h"
#include "catalog/options.h"
#include "catalog/storage.h"
#include "driver.h"
#include "notify/balloonwnd.h"
#include "notify/wrapballoon.h"
#include "shell/startup.h"
#include "shell/theme.h"
#include "testkit/page.h"

#include <functional>
#include <string>
#include <vector>

using notifytest::PumpUntil;

namespace {

const UINT kDocCompleted = RegisterWindowMessageW(L"Lorrimel_DocCompletedMsg");

// The recording theme in the catalog, selected and loaded as at start-up.
void InstallTestingTheme()
{
    const std::string module = zeltest::ReadFileBytes(zeltest::WindowsPathFromUnix(ZEL_THEME_TESTING_DLL));
    ASSERT_FALSE(module.empty());
    Statement insert;
    ASSERT_TRUE(insert.PrepareWithRetry(GetCatalogDb(),
                                        "insert or replace into themes(k,t,v,d) values('testing-1','testing',1,?1)"));
    ASSERT_TRUE(insert.BindBlob(1, module.data(), static_cast<int>(module.size())));
    ASSERT_TRUE(insert.StepDone());
    insert.Finalize();
    ASSERT_TRUE(SetOption(L"theme", L"testing"));
    ASSERT_NE(nullptr, LoadThemeModule());
}

ComPtr<IWebBrowser2> BrowserOf(const CBalloonWnd* balloon)
{
    ComPtr<IUnknown> control = AxGetControl(balloon->Host());
    return control.As<IWebBrowser2>(IID_IWebBrowser2);
}

// A function of the balloon's page, called as a test would from the page.
std::wstring CallPage(const CBalloonWnd* balloon, const wchar_t* name, const std::vector<testkit::Variant>& args)
{
    ComPtr<IWebBrowser2> browser = BrowserOf(balloon);
    testkit::ComRef<IDispatch> script = testkit::PageScript(browser.get());
    if (!script)
        return L"<no page>";
    testkit::Variant result;
    if (testkit::CallMember(script.get(), name, args, &result) != S_OK)
        return L"<call failed>";
    return testkit::TextOf(result.get());
}

std::vector<std::wstring> PageLog(const CBalloonWnd* balloon)
{
    std::vector<std::wstring> lines;
    std::wstring line;
    for (wchar_t c : CallPage(balloon, L"testLog", {})) {
        if (c == L'\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    return lines;
}

// How the recording page logs a text argument.
std::wstring Logged(const std::wstring& text)
{
    std::wstring escaped = L"string:";
    for (wchar_t c : text) {
        if (c == L'\\' || c == L'|')
            escaped += L'\\';
        escaped += c;
    }
    return escaped;
}

CBalloonWnd* BalloonOf(HWND window)
{
    return dynamic_cast<CBalloonWnd*>(WindowImpl::FromWindow(window));
}

std::vector<HWND> BalloonWindows()
{
    std::vector<HWND> windows;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM lParam) CALLBACK -> BOOL {
            wchar_t name[32] = {};
            GetClassNameW(window, name, 32);
            if (wcscmp(name, L"ZELBALLCLS") == 0)
                reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

RECT Rect(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

class BalloonPages : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The program runs of other tests take the product key away.
        zeltest::SetProductKey(L"zel", notifytest::InstallDir(), 0x4000000);
        InstallTestingTheme();
    }

    void TearDown() override
    {
        // Closed directly, as a gap would be closed; the process-wide stack
        // stays active for the next test.
        for (HWND window : BalloonWindows())
            DestroyWindow(window);
        EXPECT_TRUE(GetBalloonStack().Balloons().empty());
    }

    // Pumps messages until done(); before a balloon's page is filled (its
    // page-loaded message is dispatched), prepare runs on that balloon.
    bool Pump(const std::function<bool()>& done, const std::function<void(CBalloonWnd*)>& prepare = nullptr,
              DWORD timeoutMs = 15000)
    {
        const ULONGLONG end = GetTickCount64() + timeoutMs;
        while (!done()) {
            if (GetTickCount64() >= end)
                return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == kDocCompleted) {
                    if (CBalloonWnd* balloon = BalloonOf(message.hwnd)) {
                        ++pageLoads_;
                        if (prepare)
                            prepare(balloon);
                    }
                }
                TranslateMessage(&message);
                DispatchMessageW(&message);
                for (HWND window : BalloonWindows())
                    everShown_ = everShown_ || IsWindowVisible(window);
            }
        }
        return true;
    }

    // The only balloon window of the thread, once created.
    HWND OnlyBalloon()
    {
        std::vector<HWND> windows = BalloonWindows();
        return windows.size() == 1 ? windows.front() : nullptr;
    }

    int pageLoads_ = 0;
    bool everShown_ = false;
};

}  // namespace

TEST_F(BalloonPages, NewGameBalloonFillsItsPageAndJoinsTheStack)
{
    ASSERT_TRUE(SetOption(L"affiliate", L"5"));
    ASSERT_TRUE(ShowGameBalloon(77, L"Alpha | \"Omega\"", L"Описание игры"));
    HWND window = OnlyBalloon();
    ASSERT_NE(nullptr, window);
    EXPECT_FALSE(IsWindowVisible(window));

    ASSERT_TRUE(Pump([] { return GetBalloonStack().Balloons().size() == 1; }));
    CBalloonWnd* balloon = GetBalloonStack().Balloons().front();
    ASSERT_EQ(window, balloon->Window());
    const std::vector<std::wstring> log = PageLog(balloon);
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ(L"inOptionLoad|string:games_dll|" + Logged(GetGamesDllPath()), log[0]);
    EXPECT_EQ(L"inNewGame|number:77|number:5|" + Logged(L"Alpha | \"Omega\"") + L"|" + Logged(L"Описание игры"),
              log[1]);

    // The page's size, in the bottom-right corner of the work area, and the
    // host fills the balloon.
    const RECT& area = GetBalloonStack().WorkArea();
    RECT rect = Rect(window);
    EXPECT_EQ(area.right - 300, rect.left);
    EXPECT_EQ(area.bottom - 120, rect.top);
    EXPECT_EQ(area.right, rect.right);
    EXPECT_EQ(area.bottom, rect.bottom);
    RECT hostRect = {};
    GetClientRect(balloon->Host(), &hostRect);
    EXPECT_EQ(300, hostRect.right);
    EXPECT_EQ(120, hostRect.bottom);
    EXPECT_TRUE(IsWindowVisible(window));

    // Magenta is transparent; the fade-in ends fully opaque.
    ASSERT_TRUE(Pump([&] { return balloon->FadeIn().IsDone(); }));
    COLORREF key = 0;
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(window, &key, &alpha, &flags));
    EXPECT_EQ(RGB(255, 0, 255), key);
    EXPECT_EQ(255, alpha);
    EXPECT_EQ(static_cast<DWORD>(LWA_COLORKEY | LWA_ALPHA), flags);
}

TEST_F(BalloonPages, NewsBalloonGetsItsFourTexts)
{
    ASSERT_TRUE(ShowNewsBalloon(L"Title", L"What is new", L"http://127.0.0.1/n.png", L"http://127.0.0.1/n"));
    ASSERT_TRUE(Pump([] { return GetBalloonStack().Balloons().size() == 1; }));
    EXPECT_EQ((std::vector<std::wstring>{L"inNews|string:Title|string:What is new|string:http://127.0.0.1/n.png|"
                                         L"string:http://127.0.0.1/n"}),
              PageLog(GetBalloonStack().Balloons().front()));
}

TEST_F(BalloonPages, BalloonsCreatedTogetherShareThePageAddress)
{
    ASSERT_TRUE(ShowGameBalloon(1, L"One", L"first"));
    ASSERT_TRUE(ShowNewsBalloon(L"Two", L"second", L"i", L"l"));
    std::vector<HWND> windows = BalloonWindows();
    ASSERT_EQ(2u, windows.size());
    const std::wstring expected = std::wstring(L"res://") + GetThemeTempPath() + L"/html/balloon.html";
    for (HWND window : windows) {
        wchar_t address[1024] = {};
        GetWindowTextW(BalloonOf(window)->Host(), address, 1024);
        EXPECT_EQ(expected, address);
    }
    EXPECT_EQ(expected, GetBalloonPageUrl());
}

TEST_F(BalloonPages, BalloonsStackUpInTheOrderTheirPagesLoad)
{
    ASSERT_TRUE(ShowGameBalloon(1, L"One", L"first"));
    ASSERT_TRUE(Pump([] { return GetBalloonStack().Balloons().size() == 1; }));
    ASSERT_TRUE(ShowNewsBalloon(L"Two", L"second", L"i", L"l"));
    // The second page asks for another size.
    ASSERT_TRUE(Pump([] { return GetBalloonStack().Balloons().size() == 2; },
                     [](CBalloonWnd* balloon) {
                         CallPage(balloon, L"testReturnSize",
                                  {testkit::TextArg(L"inNews"), testkit::UintArg(250), testkit::UintArg(90)});
                     }));
    const RECT& area = GetBalloonStack().WorkArea();
    HWND second = GetBalloonStack().Balloons()[1]->Window();
    RECT rect = Rect(second);
    EXPECT_EQ(area.bottom - 120 - 90, rect.top);
    EXPECT_EQ(area.right - 250, rect.left);

    // The first one closes from its page: the second moves down.
    EXPECT_EQ(L"ok", CallPage(GetBalloonStack().Balloons()[0], L"testCall", {testkit::TextArg(L"windowClose")}));
    ASSERT_TRUE(Pump([] { return GetBalloonStack().Balloons().size() == 1; }));
    EXPECT_EQ(area.bottom - 90, Rect(second).top);
}

TEST_F(BalloonPages, PageWithoutAUsableAnswerClosesTheBalloonUnseen)
{
    struct Case {
        const char* what;
        std::function<void(CBalloonWnd*)> prepare;
        bool newGameCalled;
    };
    const Case cases[] = {
        {"inNewGame answers a number",
         [](CBalloonWnd* b) { CallPage(b, L"testReturn", {testkit::TextArg(L"inNewGame"), testkit::UintArg(5)}); },
         true},
        {"inNewGame answers nothing",
         [](CBalloonWnd* b) { CallPage(b, L"testReturn", {testkit::TextArg(L"inNewGame")}); }, true},
        {"inNewGame throws",
         [](CBalloonWnd* b) { CallPage(b, L"testThrow", {testkit::TextArg(L"inNewGame"), testkit::TextArg(L"x")}); },
         true},
        {"inOptionLoad throws",
         [](CBalloonWnd* b) {
             CallPage(b, L"testThrow", {testkit::TextArg(L"inOptionLoad"), testkit::TextArg(L"x")});
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        everShown_ = false;
        ASSERT_TRUE(ShowGameBalloon(9, L"Nine", L"ninth"));
        HWND window = OnlyBalloon();
        ASSERT_NE(nullptr, window);
        CBalloonWnd* balloon = BalloonOf(window);
        // Filled, then fading out unseen.
        ASSERT_TRUE(Pump([&] { return balloon->FadeOut().IsRunning(); }, c.prepare));
        std::vector<std::wstring> log = PageLog(balloon);
        bool newGame = false;
        for (const std::wstring& line : log)
            newGame = newGame || line.rfind(L"inNewGame|", 0) == 0;
        EXPECT_EQ(c.newGameCalled, newGame);
        ASSERT_TRUE(Pump([&] { return !IsWindow(window); }));
        EXPECT_FALSE(everShown_);
        EXPECT_TRUE(GetBalloonStack().Balloons().empty());
    }
}

TEST_F(BalloonPages, WindowCloseFadesOutAndDestroys)
{
    ASSERT_TRUE(ShowGameBalloon(3, L"Three", L"third"));
    ASSERT_TRUE(Pump([] { return GetBalloonStack().Balloons().size() == 1; }));
    CBalloonWnd* balloon = GetBalloonStack().Balloons().front();
    HWND window = balloon->Window();
    EXPECT_EQ(L"ok", CallPage(balloon, L"testCall", {testkit::TextArg(L"windowClose")}));
    EXPECT_TRUE(balloon->FadeIn().IsDone());
    EXPECT_TRUE(balloon->FadeOut().IsRunning());
    ASSERT_TRUE(Pump([&] { return !IsWindow(window); }));
    EXPECT_TRUE(GetBalloonStack().Balloons().empty());
}

TEST_F(BalloonPages, PageReachesOnlyTheBalloonsMethods)
{
    ASSERT_TRUE(ShowGameBalloon(4, L"Four", L"fourth"));
    ASSERT_TRUE(Pump([] { return GetBalloonStack().Balloons().size() == 1; }));
    CBalloonWnd* balloon = GetBalloonStack().Balloons().front();
    auto call = [&](const wchar_t* name, std::vector<testkit::Variant> args) {
        args.insert(args.begin(), testkit::TextArg(name));
        return CallPage(balloon, L"testCall", args);
    };
    using testkit::TextArg;
    using testkit::UintArg;
    const struct {
        const wchar_t* name;
        std::vector<testkit::Variant> args;
    } others[] = {
        {L"optionSave", {TextArg(L"balloonSaved"), TextArg(L"1")}}, {L"windowInit", {UintArg(10), UintArg(10)}},
        {L"windowMove", {}}, {L"windowMinimize", {}}, {L"kernelUrlNotify", {TextArg(L"http://127.0.0.1/")}},
        {L"kernelLogin", {TextArg(L"a"), TextArg(L"b")}}, {L"loginUsingVkontakte", {}}, {L"gameRun", {UintArg(4)}},
        {L"gameDelete", {UintArg(4)}}, {L"gameGetBigIcon", {UintArg(4)}}, {L"gameGetSmallIcon", {UintArg(4)}},
        {L"gameBuy", {TextArg(L"http://127.0.0.1/"), UintArg(4), UintArg(1)}}, {L"gameCustom", {UintArg(310)}},
        {L"gameToFacebook", {UintArg(4)}}, {L"gameToVkontakte", {UintArg(4)}},
        {L"shareGameToFacebook", {UintArg(4)}}, {L"shareGameToVkontakte", {UintArg(4)}},
        {L"installYandexPackage", {UintArg(4)}}, {L"updateYandexState", {}}, {L"uiTest", {UintArg(4)}},
    };
    for (const auto& other : others)
        EXPECT_EQ(L"error:0x80004001", call(other.name, other.args)) << other.name;
    EXPECT_EQ(L"", GetOptionText(L"balloonSaved"));
    // The balloon is still there and untouched.
    EXPECT_EQ(1u, GetBalloonStack().Balloons().size());
    EXPECT_FALSE(balloon->FadeOut().IsRunning());
}

TEST(WrapBalloon, AddressesOpenOnlyAsWebAddresses)
{
    ComObject<CWrapBalloon>* wrap = nullptr;
    ASSERT_EQ(S_OK, ComObject<CWrapBalloon>::CreateInstance(&wrap, nullptr));
    ComPtr<IWrapCore> external = ComPtr<IWrapCore>::Share(wrap);
    EXPECT_EQ(S_OK, external->kernelUrl(nullptr));
    EXPECT_EQ(S_OK, external->kernelUrlDirect(nullptr));
    EXPECT_EQ(S_OK, external->windowClose());

    // A web address goes to the user's browser: here this test program.
    {
        const wchar_t* browserKey = L"http\\shell\\open\\command";
        wchar_t saved[2048] = {};
        DWORD savedSize = sizeof(saved);
        const bool hadBrowser = RegGetValueW(HKEY_CLASSES_ROOT, browserKey, nullptr, RRF_RT_REG_SZ, nullptr, saved,
                                             &savedSize) == ERROR_SUCCESS;
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        const std::wstring command = L"\"" + std::wstring(self) + L"\" --record-url \"%1\"";
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CLASSES_ROOT, browserKey, nullptr, REG_SZ, command.c_str(),
                                                 static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))));
        DeleteFileW(notifytest::OpenedUrlFile().c_str());
        BSTR web = SysAllocString(L"http://127.0.0.1/news?id=1");
        EXPECT_EQ(S_OK, external->kernelUrl(web));
        SysFreeString(web);
        // The shell starts the recorder as a process of its own: slow on a
        // loaded machine.
        for (int i = 0; i < 400 && !zeltest::FileExists(notifytest::OpenedUrlFile()); ++i)
            Sleep(50);
        EXPECT_EQ("http://127.0.0.1/news?id=1", zeltest::ReadFileBytes(notifytest::OpenedUrlFile()));
        if (hadBrowser)
            RegSetKeyValueW(HKEY_CLASSES_ROOT, browserKey, nullptr, REG_SZ, saved, savedSize);
    }

    // A link that names a local program is not run.
    zeltest::TempDir dir(L"notify-url");
    const std::wstring marker = dir.File(L"ran.txt");
    const std::wstring script = dir.File(L"link.bat");
    ASSERT_TRUE(zeltest::WriteFileBytes(script, "echo ran > \"" + std::string(marker.begin(), marker.end()) + "\"\r\n"));
    BSTR local = SysAllocString(script.c_str());
    EXPECT_EQ(S_OK, external->kernelUrlDirect(local));
    EXPECT_EQ(S_OK, external->kernelUrl(local));
    SysFreeString(local);
    Sleep(1500);
    EXPECT_FALSE(zeltest::FileExists(marker));
}

// A balloon's gameSelect brings up the main window of the process and
// selects the game on the main page.
TEST_F(BalloonPages, GameSelectShowsTheMainWindowAndSelectsTheGame)
{
    HWND main = CreateMainWindow(GetModuleHandleW(nullptr));
    ASSERT_NE(nullptr, main);
    auto mainLog = [] {
        CMainSink* sink = GetMainSink();
        testkit::ComRef<IDispatch> script = testkit::PageScript(sink ? sink->Browser() : nullptr);
        testkit::Variant result;
        if (!script || testkit::CallMember(script.get(), L"testLog", {}, &result) != S_OK)
            return std::wstring();
        return testkit::TextOf(result.get());
    };
    ASSERT_TRUE(Pump([&] { return mainLog().find(L"inRender|boolean:true") != std::wstring::npos; }));
    ShowWindow(main, SW_HIDE);

    ASSERT_TRUE(ShowGameBalloon(5, L"Five", L"fifth"));
    ASSERT_TRUE(Pump([] { return GetBalloonStack().Balloons().size() == 1; }));
    CBalloonWnd* balloon = GetBalloonStack().Balloons().front();

    EXPECT_EQ(L"ok", CallPage(balloon, L"testCall", {testkit::TextArg(L"gameSelect"), testkit::UintArg(0)}));
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_EQ(main, GetForegroundWindow());
    EXPECT_EQ(std::wstring::npos, mainLog().find(L"inGameSelect"));

    ShowWindow(main, SW_HIDE);
    EXPECT_EQ(L"ok", CallPage(balloon, L"testCall", {testkit::TextArg(L"gameSelect"), testkit::UintArg(5)}));
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_NE(std::wstring::npos, mainLog().find(L"inGameSelect|number:5"));
    // The balloon stays open.
    EXPECT_EQ(1u, GetBalloonStack().Balloons().size());
    EXPECT_FALSE(balloon->FadeOut().IsRunning());
}
