// The update check from the request the server sees to the catalog rows,
// the page calls, the new-game announcement and the next timer.
#include <gtest/gtest.h>

#include "nettest.h"
#include "net/update.h"
#include "shell/brand.h"

using nettest::CallsNamed;
using nettest::Exec;
using nettest::QueryNumber;

namespace {

class UpdateCheck : public ::testing::Test {
protected:
    zeltest::HttpServer server_;
    nettest::ResultWindow window_;
    sqlite3* db_ = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(server_.Listening());
        nettest::UseServer(server_);
        nettest::ClearRecordedCalls();
        nettest::SetSkinInfo(L"testskin");
        GetWrapConfig()->updateTimer = true;
        db_ = nettest::FreshCatalog();
        if (!db_)
            GTEST_SKIP() << "no catalog in this build";
    }

    void TearDown() override
    {
        nettest::SetRenderProbe(nullptr);
        KillTimer(window_.get(), kUpdateTimerId);
        GetWrapConfig()->updateTimer = true;
    }

    // One whole cycle: the request, its reply, the handler.
    void RunCheck(const std::string& reply, bool compressed = true)
    {
        server_.Reply("/update.php", compressed ? zeltest::CompressedReply(reply) : zeltest::TextReply(reply));
        CheckForUpdates(window_.get());
        ASSERT_TRUE(nettest::CompleteNextRequest(window_.get()));
    }

    bool TimerArmed() { return KillTimer(window_.get(), kUpdateTimerId) != FALSE; }

    static std::string Statements(std::initializer_list<const char*> texts)
    {
        std::string block;
        for (const char* text : texts) {
            block += text;
            block += '\0';
        }
        return block + '\0';
    }
};

TEST_F(UpdateCheck, RequestNamesTheKnownGames)
{
    RunCheck(Statements({}));
    std::optional<zeltest::SeenRequest> empty = server_.LastRequest("/update.php");
    ASSERT_TRUE(empty);
    EXPECT_EQ("app=testskin", empty->query);
    EXPECT_EQ("0", empty->Header("Games").value_or("-"));

    Exec(db_, "insert into games(id,name,desc) values(5,'Five','d'),(7,'Seven','d'),(9,'Nine',null)");
    RunCheck(Statements({}));
    EXPECT_EQ("5,7", server_.LastRequest("/update.php")->Header("Games").value_or("-"));
    EXPECT_EQ("0004002a", server_.LastRequest("/update.php")->Header("Version").value_or("-"));
}

TEST_F(UpdateCheck, ReplyRunsBetweenRenderCallsAndAnnouncesTheNewestGame)
{
    Exec(db_, "insert into games(id,name,desc,show,release,updn) values(1,'Old','d',1,50,1)");
    // What the catalog holds whenever the page is told to stop or resume
    // drawing: the old marks are gone first, the reply runs in between.
    std::vector<std::pair<int64_t, int64_t>> seenAtRender;
    nettest::SetRenderProbe([&](bool) {
        seenAtRender.emplace_back(QueryNumber(db_, "select count(*) from games"),
                                  QueryNumber(db_, "select count(*) from games where updn is not null"));
    });
    RunCheck(Statements({
        "insert into games(id,name,desc,show,release,updn) values(20,'Newest','Fresh game',1,100,1)",
        "this is not sql",
        "insert into games(id,name,desc,show,release,updn) values(21,'Older','d',1,90,1);"
        "insert or replace into opt(var,val) values('update',tme()+86400)",
    }));
    EXPECT_EQ(3, QueryNumber(db_, "select count(*) from games"));
    EXPECT_EQ(0, QueryNumber(db_, "select count(*) from games where id=1 and updn is not null"));
    EXPECT_EQ(1, QueryNumber(db_, "select count(*) from opt where var='update'"));

    std::vector<nettest::RecordedCall>& calls = nettest::RecordedCalls();
    ASSERT_EQ(3u, calls.size());
    EXPECT_EQ("inRender", calls[0].name);
    EXPECT_EQ(L"false", calls[0].arguments[0]);
    EXPECT_EQ("inRender", calls[1].name);
    EXPECT_EQ(L"true", calls[1].arguments[0]);
    EXPECT_EQ("ShowGameBalloon", calls[2].name);
    EXPECT_EQ((std::vector<std::pair<int64_t, int64_t>>{{1, 0}, {3, 2}}), seenAtRender);
    std::vector<nettest::RecordedCall> balloons = CallsNamed("ShowGameBalloon");
    ASSERT_EQ(1u, balloons.size());
    EXPECT_EQ((std::vector<std::wstring>{L"20", L"Newest", L"Fresh game"}), balloons[0].arguments);
    EXPECT_TRUE(TimerArmed());
}

TEST_F(UpdateCheck, NoAnnouncementWhenHiddenInstalledOrNotTheLatestRelease)
{
    Exec(db_, "insert into opt(var,val) values('HideGameNews','yes')");
    RunCheck(Statements({"insert into games(id,name,desc,show,release,updn) values(30,'N','d',1,100,1)"}));
    EXPECT_EQ(1, QueryNumber(db_, "select count(*) from games where id=30"));
    EXPECT_TRUE(CallsNamed("ShowGameBalloon").empty());

    Exec(db_, "update opt set val='' where var='HideGameNews'");
    RunCheck(Statements({"update games set updn=1,inst=1 where id=30"}));
    EXPECT_TRUE(CallsNamed("ShowGameBalloon").empty());

    RunCheck(Statements({"insert into games(id,name,desc,show,release,updn) values(31,'Low','d',1,80,1)"}));
    EXPECT_TRUE(CallsNamed("ShowGameBalloon").empty());
    EXPECT_TRUE(TimerArmed());
}

TEST_F(UpdateCheck, RepliesAreNeverReadPastTheirEnd)
{
    // A list ending in a single NUL still runs.
    RunCheck(std::string("insert into games(id,name,desc) values(40,'A','d')") + '\0');
    EXPECT_EQ(1, QueryNumber(db_, "select count(*) from games where id=40"));

    // Without its final NUL nothing runs, but the next check is armed.
    std::string unterminated = "insert into games(id,name,desc) values(41,'B','d')";
    RunCheck(unterminated);
    EXPECT_EQ(0, QueryNumber(db_, "select count(*) from games where id=41"));
    EXPECT_TRUE(CallsNamed("inRender").size() == 2);
    EXPECT_TRUE(TimerArmed());
}

TEST_F(UpdateCheck, FailedTransferOnlyArmsTheTimer)
{
    Exec(db_, "insert into games(id,name,desc,updn) values(50,'K','d',1)");
    server_.Reply("/update.php", zeltest::StatusReply(404));
    CheckForUpdates(window_.get());
    ASSERT_TRUE(nettest::CompleteNextRequest(window_.get()));
    EXPECT_EQ(1, QueryNumber(db_, "select updn from games where id=50"));
    EXPECT_TRUE(nettest::RecordedCalls().empty());
    EXPECT_TRUE(TimerArmed());
}

TEST_F(UpdateCheck, TimerPeriodFollowsTheDueTime)
{
    auto setDue = [&](const char* sql) {
        Exec(db_, "delete from opt where var='update'");
        if (sql)
            Exec(db_, sql);
    };
    auto between = [](UINT period, UINT low, UINT high) { return period >= low && period <= high; };

    setDue(nullptr);
    EXPECT_EQ(300000u, ArmUpdateTimer(window_.get(), kUpdateDelayAfterPageLoad));
    EXPECT_TRUE(TimerArmed());

    setDue("insert into opt(var,val) values('update',tme()+86400)");
    EXPECT_TRUE(between(ArmUpdateTimer(window_.get(), kUpdateDelayAfterCheck), 86398000, 86400000));
    setDue("insert into opt(var,val) values('update',tme()+600)");
    EXPECT_EQ(3600000u, ArmUpdateTimer(window_.get(), kUpdateDelayAfterCheck));
    EXPECT_TRUE(between(ArmUpdateTimer(window_.get(), kUpdateDelayAfterPageLoad), 598000, 600000));
    setDue("insert into opt(var,val) values('update',tme()-5000)");
    EXPECT_EQ(300000u, ArmUpdateTimer(window_.get(), kUpdateDelayAfterPageLoad));
    // Years ahead: the longest period a timer takes, not an overflow.
    setDue("insert into opt(var,val) values('update',tme()+100000000)");
    EXPECT_EQ(static_cast<UINT>(USER_TIMER_MAXIMUM), ArmUpdateTimer(window_.get(), kUpdateDelayAfterCheck));
    EXPECT_TRUE(TimerArmed());
}

TEST_F(UpdateCheck, BrandWithoutTheFlagNeverArmsTheTimer)
{
    GetWrapConfig()->updateTimer = false;
    EXPECT_EQ(0u, ArmUpdateTimer(window_.get(), kUpdateDelayAfterPageLoad));
    RunCheck(Statements({}));
    EXPECT_FALSE(TimerArmed());
}

}  // namespace
