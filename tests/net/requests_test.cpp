// The service addresses, the advertisement request with its 30-second
// spacing, and the per-game custom data.
#include <gtest/gtest.h>

#include "driver.h"
#include "net/adfeed.h"
#include "net/customdata.h"
#include "net/endpoints.h"
#include "nettest.h"
#include "shell/brand.h"

#include <algorithm>

using nettest::CallsNamed;

namespace {

TEST(Endpoints, BuiltInAddressesGiveWayToTheProductKey)
{
    nettest::DeleteProductValue(L"ServiceUrl");
    nettest::DeleteProductValue(L"AdServiceUrl");
    nettest::DeleteProductValue(L"SiteDomain");
    EXPECT_EQ(0u, ServiceUrl("update.php").rfind("https://", 0));
    EXPECT_EQ("update.php", ServiceUrl("update.php").substr(ServiceUrl("update.php").size() - 10));
    EXPECT_FALSE(SiteDomain().empty());

    nettest::SetProductString(L"ServiceUrl", L"http://127.0.0.1:8/base");
    nettest::SetProductString(L"AdServiceUrl", L"http://127.0.0.1:9/");
    nettest::SetProductString(L"SiteDomain", L"site.test");
    EXPECT_EQ("http://127.0.0.1:8/base/update.php", ServiceUrl("update.php"));
    EXPECT_EQ("http://127.0.0.1:9/show", AdServiceUrl("show"));
    EXPECT_EQ(L"site.test", SiteDomain());

    // An empty value counts as none.
    nettest::SetProductString(L"SiteDomain", L"");
    EXPECT_NE(L"", SiteDomain());
    nettest::DeleteProductValue(L"SiteDomain");
}

class WebRequests : public ::testing::Test {
protected:
    zeltest::HttpServer server_;
    nettest::ResultWindow window_;

    void SetUp() override
    {
        ASSERT_TRUE(server_.Listening());
        nettest::UseServer(server_);
        nettest::ClearRecordedCalls();
    }
};

// Kept in one test: the last request time belongs to the process.
TEST_F(WebRequests, AdvertisementsAreSpacedThirtySecondsApart)
{
    server_.Reply("/ads/show", zeltest::TextReply(R"({"click_url":"http://c/1","img":{"src":"http://i/1.png"}})"));
    CWrapConfig* config = GetWrapConfig();
    ASSERT_TRUE(config);

    // A brand without advertisements never asks, and that holds nothing off.
    config->advertisements = false;
    const int64_t t0 = 1700000000;
    EXPECT_FALSE(RequestAdFeedAt(window_.get(), t0));
    config->advertisements = true;

    struct Step {
        int64_t offset;
        bool sends;
    };
    // The first call sends; 10 s later not; 30 s later again; a clock set
    // back holds off until 30 s past the last request.
    const Step steps[] = {{0, true}, {10, false}, {30, true}, {20, false}, {59, false}, {60, true}, {89, false}};
    size_t sent = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.offset);
        EXPECT_EQ(step.sends, RequestAdFeedAt(window_.get(), t0 + step.offset));
        if (step.sends) {
            ++sent;
            ASSERT_TRUE(nettest::CompleteNextRequest(window_.get()));
        }
    }
    EXPECT_EQ(sent, server_.CountRequests("/ads/show"));
    std::optional<zeltest::SeenRequest> seen = server_.LastRequest("/ads/show");
    ASSERT_TRUE(seen);
    EXPECT_EQ("id_site=21&id_channel=62&id_user=1&lang=EN&format=json", seen->query);
    EXPECT_EQ("0004002a", seen->Header("Version").value_or("-"));

    // Each reply reached the page.
    std::vector<nettest::RecordedCall> updates = CallsNamed("inAdUpdate");
    ASSERT_EQ(sent, updates.size());
    EXPECT_EQ(L"http://c/1", updates[0].arguments[0]);
    EXPECT_EQ(L"http://i/1.png", updates[0].arguments[1]);
}

class CustomData : public WebRequests {
protected:
    sqlite3* db_ = nullptr;

    void SetUp() override
    {
        WebRequests::SetUp();
        db_ = nettest::FreshCatalog();
        if (!db_)
            GTEST_SKIP() << "no catalog in this build";
        nettest::Exec(db_, "insert into games(id,name,desc,show) values(310,'Keyed','game',1)");
    }

    void ServeCustomData(const std::string& json) { server_.Reply("/game_custom.php", zeltest::TextReply(json)); }

    std::string StoredCustom() { return nettest::QueryText(db_, "select custom from games where id=310"); }

    std::vector<std::wstring> Messages()
    {
        std::vector<std::wstring> codes;
        for (const nettest::RecordedCall& call : CallsNamed("inMsgBox"))
            codes.push_back(call.arguments[0]);
        return codes;
    }

    static size_t TempFilesWithPrefix()
    {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        WIN32_FIND_DATAW entry;
        HANDLE find = FindFirstFileW((std::wstring(temp) + L"s__*").c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE)
            return 0;
        size_t count = 0;
        do
            ++count;
        while (FindNextFileW(find, &entry));
        FindClose(find);
        return count;
    }
};

TEST(CustomDataGames, OnlyThreeGamesHaveCustomData)
{
    EXPECT_TRUE(IsCustomDataGame(310));
    EXPECT_TRUE(IsCustomDataGame(407));
    EXPECT_TRUE(IsCustomDataGame(643));
    for (uint32_t id : {0u, 1u, 309u, 311u, 408u, 644u, 0xFFFFFFFFu})
        EXPECT_FALSE(IsCustomDataGame(id)) << id;
}

TEST_F(CustomData, FetchedReplyIsStoredAndItsKeyRead)
{
    const std::string reply = R"({"service":"running","key":"KEY-42-Ä"})";
    ServeCustomData(reply);
    std::wstring key = L"stale";
    EXPECT_FALSE(GetGameCustomKey(key));
    EXPECT_EQ(L"", key);

    EXPECT_TRUE(FetchGameCustomData());
    std::optional<zeltest::SeenRequest> seen = server_.LastRequest("/game_custom.php");
    ASSERT_TRUE(seen);
    EXPECT_EQ("ver=1&id=310", seen->query);
    EXPECT_EQ("ZEL", seen->Header("User-Agent").value_or("-"));
    EXPECT_EQ(reply, StoredCustom());
    EXPECT_TRUE(GetGameCustomKey(key));
    EXPECT_EQ(L"KEY-42-\u00C4", key);
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(0u, TempFilesWithPrefix());
}

TEST_F(CustomData, RepliesWithoutServiceStoreNothing)
{
    for (const char* reply : {R"({"key":"K"})", R"({"service":"","key":"K"})", "not json at all"}) {
        SCOPED_TRACE(reply);
        nettest::ClearRecordedCalls();
        ServeCustomData(reply);
        EXPECT_FALSE(FetchGameCustomData());
        EXPECT_EQ(std::vector<std::wstring>{L"400"}, Messages());
        EXPECT_EQ("", StoredCustom());
    }
}

TEST_F(CustomData, StoppedServiceIsStoredButCountsAsFailure)
{
    const std::string reply = R"({"service":"stop","key":"OLD"})";
    ServeCustomData(reply);
    EXPECT_FALSE(FetchGameCustomData());
    EXPECT_EQ(std::vector<std::wstring>{L"401"}, Messages());
    EXPECT_EQ(reply, StoredCustom());
    std::wstring key;
    EXPECT_TRUE(GetGameCustomKey(key));
    EXPECT_EQ(L"OLD", key);
}

TEST_F(CustomData, FailedDownloadsTellThePageAndLeaveNoFile)
{
    server_.Reply("/game_custom.php", zeltest::StatusReply(404));
    EXPECT_FALSE(FetchGameCustomData());
    server_.Reply("/game_custom.php", zeltest::TextReply(""));
    EXPECT_FALSE(FetchGameCustomData());
    EXPECT_EQ((std::vector<std::wstring>{L"400", L"400"}), Messages());
    EXPECT_EQ(0u, TempFilesWithPrefix());
    EXPECT_EQ("", StoredCustom());
}

TEST_F(CustomData, KeyNeedsAStoredNonEmptyKey)
{
    std::wstring key = L"x";
    nettest::Exec(db_, R"(update games set custom='{"service":"on"}' where id=310)");
    EXPECT_FALSE(GetGameCustomKey(key));
    EXPECT_EQ(L"", key);
    nettest::Exec(db_, R"(update games set custom='{"service":"on","key":""}' where id=310)");
    EXPECT_FALSE(GetGameCustomKey(key));
    nettest::Exec(db_, "update games set custom='' where id=310");
    EXPECT_FALSE(GetGameCustomKey(key));
    nettest::Exec(db_, "delete from games where id=310");
    EXPECT_FALSE(GetGameCustomKey(key));
    EXPECT_EQ(L"", key);
}

TEST_F(CustomData, TemporaryFolderWithNonAsciiName)
{
    zeltest::TempDir base{L"net-custom"};
    std::wstring folder = base.File(L"\u0160pi\u00E9l-\u0436");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    wchar_t oldTmp[MAX_PATH] = {};
    wchar_t oldTemp[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TMP", oldTmp, MAX_PATH);
    GetEnvironmentVariableW(L"TEMP", oldTemp, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", folder.c_str());
    SetEnvironmentVariableW(L"TEMP", folder.c_str());

    ServeCustomData(R"({"service":"on","key":"UNI"})");
    bool fetched = FetchGameCustomData();
    size_t leftOver = TempFilesWithPrefix();

    SetEnvironmentVariableW(L"TMP", *oldTmp ? oldTmp : nullptr);
    SetEnvironmentVariableW(L"TEMP", *oldTemp ? oldTemp : nullptr);
    EXPECT_TRUE(fetched);
    EXPECT_EQ(0u, leftOver);
    std::wstring key;
    EXPECT_TRUE(GetGameCustomKey(key));
    EXPECT_EQ(L"UNI", key);
}

}  // namespace
