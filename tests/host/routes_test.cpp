// The main window's route for advertisement replies. No brand requests
// advertisements, so no run of the program can show it from outside: a
// real worker's completion reaches the main window procedure here, and the
// page call it makes is seen in the error ring (the main sink's browser
// holds no page).
#include <gtest/gtest.h>

#include "helpers.h"
#include "host/mainwindow.h"
#include "host/sinks.h"
#include "httpserver.h"
#include "net/workers.h"
#include "shell/errorlog.h"
#include "shell/instance.h"

#include <exdisp.h>

#include <algorithm>

using hosttest::PumpUntil;
using hosttest::TestWindow;

namespace {

bool Logged(const std::wstring& message)
{
    std::vector<std::wstring> logged = LoggedMessages();
    return std::find(logged.begin(), logged.end(), message) != logged.end();
}

// A window that runs the main window procedure for as long as it lives,
// without its creation and destruction steps.
class MainProcedure {
public:
    explicit MainProcedure(HWND window)
        : window_(window),
          previous_(SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(MainWindowProc)))
    {
    }
    ~MainProcedure() { SetWindowLongPtrW(window_, GWLP_WNDPROC, previous_); }
    MainProcedure(const MainProcedure&) = delete;
    MainProcedure& operator=(const MainProcedure&) = delete;

private:
    HWND window_;
    LONG_PTR previous_;
};

}  // namespace

TEST(MainWindowRoutes, AnAdvertisementReplyBecomesAPageCall)
{
    zeltest::HttpServer server;
    ASSERT_TRUE(server.Listening());
    server.Reply("/ads/show", zeltest::TextReply(R"({"click_url":"http://c/1","img":{"src":"http://i/1.png"}})"));
    server.Reply("/ads/none", zeltest::TextReply("not an advertisement"));

    CMainSink* sink = GetMainSink();
    ASSERT_NE(nullptr, sink);
    ComPtr<IWebBrowser2> browser;
    CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IWebBrowser2, browser.out_void());
    ASSERT_TRUE(browser);
    sink->SetBrowser(browser.get());
    TestWindow window(100, 100, false);
    {
        MainProcedure procedure(window.get());
        const std::wstring pageCall = L"ExecuteScript: cannot obtain DOM's script object";
        // A reply that is no advertisement calls no page function...
        ClearLoggedMessages();
        ASSERT_TRUE(StartAsyncRequest(kRequestAdFeed, server.Url("ads/none").c_str(), nullptr, false,
                                      window.get(), WM_HTTP_REQUEST_COMPLETED, 0));
        EXPECT_TRUE(PumpUntil([] { return CountWorkerThreads() == 0; }, 20000));
        EXPECT_FALSE(Logged(pageCall));
        // ...an advertisement does.
        ASSERT_TRUE(StartAsyncRequest(kRequestAdFeed, server.Url("ads/show").c_str(), nullptr, false,
                                      window.get(), WM_HTTP_REQUEST_COMPLETED, 0));
        EXPECT_TRUE(PumpUntil([] { return CountWorkerThreads() == 0; }, 20000));
        EXPECT_TRUE(Logged(pageCall));
    }
    sink->SetBrowser(nullptr);
}
