// The running manager against a stand-in of the web service: the update
// timer's check with the games it knows, the update reply's statements in
// the catalog and the page, and an exit that a request nobody answers
// cannot hold up.
#include "interactive.h"

using namespace hoste2e;

namespace {

constexpr UINT_PTR kUpdateTimer = 1;

class ServiceRun : public InteractiveRun {
protected:
    void SetUp() override
    {
        InteractiveRun::SetUp();
        ASSERT_TRUE(server_.Listening());
        SetProductValue(L"ServiceUrl", server_.WideUrl());
    }

    std::string CatalogText(const std::string& sql)
    {
        TestDb db(Catalog());
        return db.Text(sql).value_or("");
    }

    zeltest::HttpServer server_;
};

}  // namespace

TEST_F(ServiceRun, TheTimersCheckCarriesTheKnownGamesAndItsReplyReachesTheCatalog)
{
    // The update reply: statements for the catalog, each ended by a NUL,
    // the list by an empty one.
    server_.Reply("/update.php",
                  zeltest::CompressedReply(std::string("insert into games(id,name,desc,show) "
                                                       "values(901,'Nova','Newly listed',1)") +
                                           '\0' + '\0'));
    InstallTheme(ZEL_THEME_TESTING_DB, L"testing");
    Seed(kTwoGames);
    HWND window = StartAndWaitForFeed();
    ASSERT_NE(nullptr, window);

    // The timer is armed for minutes; its message is what a due timer sends.
    PostMessageW(window, WM_TIMER, kUpdateTimer, 0);
    ASSERT_TRUE(server_.WaitForRequests("/update.php", 1));
    std::optional<zeltest::SeenRequest> check = server_.LastRequest("/update.php");
    ASSERT_TRUE(check);
    EXPECT_EQ("5,6", check->Header("Games").value_or("?"));
    EXPECT_EQ("app=testing", check->query);
    EXPECT_TRUE(WaitUntil([&] { return CatalogText("select name from games where id=901") == "Nova"; }, 20000));
    EXPECT_TRUE(WaitForEntry(L"inRender|boolean:false"));
    EXPECT_FALSE(Matching(PageLog(), L"inGameUpdate|number:901|number:0|string:Nova|").empty());

    EXPECT_EQ(10u, CloseAndWait());
}

TEST_F(ServiceRun, AnUpdateRequestNobodyAnswersDoesNotHoldUpTheExit)
{
    // The service takes the request and never answers.
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    zeltest::HttpReply held = zeltest::TextReply("late");
    held.gate = never;
    server_.Reply("/update.php", held);
    InstallTheme(ZEL_THEME_TESTING_DB, L"testing");
    HWND window = StartAndWaitForFeed();
    ASSERT_NE(nullptr, window);
    PostMessageW(window, WM_TIMER, kUpdateTimer, 0);
    ASSERT_TRUE(server_.WaitForRequests("/update.php", 1));

    // An installer asks the manager to exit and waits its time for it.
    EXPECT_EQ(7u, Run(L"x 1 e 1"));
    EXPECT_EQ(10u, process_.Wait(30000));
    SetEvent(never);
    CloseHandle(never);
}
