// A test in another process than the page (as with the real program under
// test) finds the browser's hook window, asks for a right click, runs
// script in the page and reads the outcome from the trace.
#include "htmlengine/hooks.h"
#include "test_container.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace enginetest;

namespace {

// The other process: shows the main page until the page itself calls
// external.note("quit"). Run only on request by the test below.
TEST(PageShownElsewhere, DISABLED_ShowsTheMainPageUntilToldToQuit)
{
    ASSERT_EQ(S_OK, OleInitialize(nullptr));
    {
        Container container;
        ASSERT_EQ(S_OK, container.embed());
        ASSERT_TRUE(container.navigateAndWait(PageUrl(L"html/main.html")));
        const auto quit = [&] {
            const auto& calls = container.external().calls;
            return std::any_of(calls.begin(), calls.end(), [](const ExternalCall& c) {
                return c.name == L"note" && !c.args.empty() && c.args[0] == L"quit";
            });
        };
        ASSERT_TRUE(testkit::PumpUntil(quit, 20000));
    }
    OleUninitialize();
}

std::string ReadAll(const std::wstring& path)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(OutsideObserver, ReachesThePageOfAnotherProcess)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring trace = std::wstring(temp) + L"htmlengine-outside.txt";
    DeleteFileW(trace.c_str());

    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) +
                        L"\" --gtest_also_run_disabled_tests "
                        L"--gtest_filter=PageShownElsewhere.DISABLED_ShowsTheMainPageUntilToldToQuit";
    // The child inherits the trace setting; this process keeps none.
    SetEnvironmentVariableW(htmlengine::kTraceVariable, trace.c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child{};
    const BOOL started =
        CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child);
    SetEnvironmentVariableW(htmlengine::kTraceVariable, nullptr);
    ASSERT_TRUE(started);

    const std::wstring url = PageUrl(L"html/main.html");
    HWND hook = nullptr;
    // The window of another process can take a moment to be found.
    for (int i = 0; i < 200 && !hook; ++i) {
        hook = FindWindowExW(HWND_MESSAGE, nullptr, htmlengine::kHookWindowClass, url.c_str());
        if (!hook) Sleep(50);
    }
    EXPECT_NE(nullptr, hook);
    if (hook) {
        const UINT contextMenu = RegisterWindowMessageW(htmlengine::kContextMenuMessage);
        EXPECT_EQ(S_OK, static_cast<HRESULT>(SendMessageW(hook, contextMenu, CONTEXT_MENU_DEFAULT, MAKELPARAM(10, 20))));
        auto evaluate = [&](const std::wstring& code) {
            COPYDATASTRUCT data{htmlengine::kEvaluateCopyData, static_cast<DWORD>(code.size() * sizeof(wchar_t)),
                                const_cast<wchar_t*>(code.data())};
            return SendMessageW(hook, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
        };
        EXPECT_EQ(1, evaluate(L"document.getElementById('status').className + ' ' + inGreet('outside')"));
        EXPECT_EQ(1, evaluate(L"window.external.note('quit')"));
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.hProcess, 20000));
    DWORD code = 1;
    GetExitCodeProcess(child.hProcess, &code);
    EXPECT_EQ(0u, code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);

    const std::string lines = ReadAll(trace);
    EXPECT_NE(std::string::npos, lines.find("host\tShowContextMenu 0 10,20 -> 0x00000000\n")) << lines;
    EXPECT_NE(std::string::npos, lines.find("eval\tready hello outside\n")) << lines;
    DeleteFileW(trace.c_str());
}

}  // namespace
