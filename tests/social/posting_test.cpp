#include <gtest/gtest.h>

#include "httpserver.h"
#include "shell/text.h"
#include "social/options.h"
#include "social/social.h"
#include "socialtest.h"
#include "tlsfront.h"

#include <memory>

using namespace zeltest;

namespace {

// The graph API is reached over TLS (the feed post always goes over TLS):
// its host is the TLS front of the same server.
class Posting : public SocialTest {
protected:
    static void SetUpTestSuite()
    {
        server_ = new HttpServer();
        tls_ = new TlsFront(server_->Port());
    }
    static void TearDownTestSuite()
    {
        delete tls_;
        delete server_;
    }
    void SetUp() override
    {
        SocialTest::SetUp();
        ASSERT_TRUE(server_->Listening());
        ASSERT_TRUE(tls_->Started());
        server_->ClearRequests();
        Reply(200, "{}");
        PointNetworksAt(server_->Origin());
        SetSocialSetting(L"FacebookGraphHost", tls_->Origin());
        SetSocialSetting(L"FacebookCaption", L"Quivmark Games");
    }
    void Reply(int status, std::string body)
    {
        server_->HandleOthers([status, body](const SeenRequest&) {
            return TextReply(body, status);
        });
    }
    SeenRequest OnlyRequest() const
    {
        std::vector<SeenRequest> requests = server_->Requests();
        EXPECT_EQ(1u, requests.size());
        return requests.empty() ? SeenRequest{} : requests.front();
    }

    static HttpServer* server_;
    static TlsFront* tls_;
};

HttpServer* Posting::server_ = nullptr;
TlsFront* Posting::tls_ = nullptr;

std::vector<std::string> FormNamesInOrder(const std::string& body)
{
    std::vector<std::string> names;
    size_t start = 0;
    while (start < body.size()) {
        size_t end = body.find('&', start);
        if (end == std::string::npos)
            end = body.size();
        std::string pair = body.substr(start, end - start);
        names.push_back(pair.substr(0, pair.find('=')));
        start = end + 1;
    }
    return names;
}

}  // namespace

TEST_F(Posting, FeedPostCarriesEveryFieldAsTheNetworkReadsIt)
{
    Reply(200, "{\"id\":\"100_1\"}");
    size_t tempFiles = CountTempFiles(L"fb_");
    EXPECT_TRUE(PostToFacebookFeed(L"tok-1", L"100", L"http://icons.test/get_big_icon.php?app=q%26id=5",
                                   L"http://site.test/r.php?act=fb_info%26id%3D5", L"Jewels & Co",
                                   L"Match three & win = fun + more #1"));
    SeenRequest request = OnlyRequest();
    EXPECT_EQ("POST", request.method);
    EXPECT_EQ("/100/feed", request.target);
    EXPECT_EQ("Quivmark Game Manager", request.Header("User-Agent").value_or(""));
    EXPECT_EQ((std::vector<std::string>{"access_token", "caption", "description", "link", "name", "picture"}),
              FormNamesInOrder(request.body));
    auto form = ParseForm(request.body);
    EXPECT_EQ("tok-1", form["access_token"]);
    EXPECT_EQ("Quivmark Games", form["caption"]);
    // An ampersand in the description no longer cuts it short.
    EXPECT_EQ("Match three & win = fun + more #1", form["description"]);
    EXPECT_EQ("Jewels & Co", form["name"]);
    EXPECT_EQ("http://site.test/r.php?act=fb_info&id=5", form["link"]);
    EXPECT_EQ("http://icons.test/get_big_icon.php?app=q&id=5", form["picture"]);
    EXPECT_EQ(tempFiles, CountTempFiles(L"fb_"));
}

TEST_F(Posting, FeedRejectionClearsTheTokenAndOtherFailuresKeepIt)
{
    StoreOption(kFacebookTokenOption, L"tok");
    StoreOption(kFacebookUserIdOption, L"100");
    size_t tempFiles = CountTempFiles(L"fb_");

    Reply(500, "<html>proxy error</html>");
    EXPECT_FALSE(PostToFacebookFeed(L"tok", L"100", L"p", L"l", L"n", L"d"));
    EXPECT_EQ(L"tok", Option(kFacebookTokenOption));

    Reply(400, "{\"error\":{\"message\":\"Error validating access token\",\"code\":190}}");
    EXPECT_FALSE(PostToFacebookFeed(L"tok", L"100", L"p", L"l", L"n", L"d"));
    EXPECT_EQ(L"", Option(kFacebookTokenOption));
    EXPECT_EQ(L"100", Option(kFacebookUserIdOption));

    EXPECT_FALSE(PostToFacebookFeed(nullptr, L"100", L"p", L"l", L"n", L"d"));
    EXPECT_FALSE(PostToFacebookFeed(L"tok", nullptr, L"p", L"l", L"n", L"d"));
    EXPECT_EQ(2u, server_->Requests().size());
    EXPECT_EQ(tempFiles, CountTempFiles(L"fb_"));
}

TEST_F(Posting, LongDescriptionIsCutToTheBodyLimitAtWholeCharacters)
{
    Reply(200, "{\"id\":\"1_2\"}");
    std::wstring description(6000, L'ж');  // six encoded characters each
    EXPECT_TRUE(PostToFacebookFeed(L"tok", L"100", L"p", L"l", L"Game", description.c_str()));
    SeenRequest request = OnlyRequest();
    EXPECT_LE(request.body.size(), 10239u);
    EXPECT_GT(request.body.size(), 10239u - 6);
    std::wstring sent = Utf8ToWide(ParseForm(request.body)["description"]).get();
    EXPECT_GT(sent.size(), 1000u);
    EXPECT_EQ(std::wstring(sent.size(), L'ж'), sent);
    EXPECT_EQ("Game", ParseForm(request.body)["name"]);
}

TEST_F(Posting, UserIdIsFetchedWithTheTokenAndStored)
{
    Reply(200, "{\"name\":\"Ann\",\"id\":\"12345\"}");
    EXPECT_TRUE(FetchFacebookUserId(L"tok&x"));
    SeenRequest request = OnlyRequest();
    EXPECT_EQ("/me?access_token=tok%26x", request.target);
    EXPECT_EQ("Quivmark Game Manager", request.Header("User-Agent").value_or(""));
    EXPECT_EQ(L"12345", Option(kFacebookUserIdOption));
}

TEST_F(Posting, UserIdFetchFailuresStoreNothing)
{
    Reply(404, "{\"id\":\"1\"}");
    EXPECT_FALSE(FetchFacebookUserId(L"tok"));
    Reply(200, "{\"name\":\"Ann\"}");
    EXPECT_FALSE(FetchFacebookUserId(L"tok"));
    Reply(200, "");
    EXPECT_FALSE(FetchFacebookUserId(L"tok"));
    Reply(200, "{\"id\":\"\",\"name\":\"Ann\"}");
    EXPECT_FALSE(FetchFacebookUserId(L"tok"));
    EXPECT_FALSE(FetchFacebookUserId(L""));
    EXPECT_FALSE(FetchFacebookUserId(nullptr));
    EXPECT_EQ(4u, server_->Requests().size());
    EXPECT_FALSE(OptionRowExists(kFacebookUserIdOption));
}

TEST_F(Posting, WallPostEncodesTheMessageAndKeepsTheLink)
{
    Reply(200, "{\"response\":{\"post_id\":17}}");
    size_t tempFiles = CountTempFiles(L"vk_");
    EXPECT_TRUE(PostToVkontakteWall(L"T0k", L"77", L"site.test/review/game-tetris/hit-vk/", L"Tetris"));
    SeenRequest request = OnlyRequest();
    EXPECT_EQ("GET", request.method);
    EXPECT_EQ("/method/wall.post", request.path);
    EXPECT_EQ("Quivmark Game Manager", request.Header("User-Agent").value_or(""));
    std::string query = request.query;
    EXPECT_EQ(0u, query.find("owner_id=77&access_token=T0k&message=%d0%9f%d1%80"));
    EXPECT_NE(std::string::npos, query.find("%20%54%65%74%72%69%73%0Asite.test/review/game-tetris/hit-vk/"));
    auto fields = ParseForm(query);
    EXPECT_EQ("Прикольная игра: Tetris\nsite.test/review/game-tetris/hit-vk/", fields["message"]);
    EXPECT_EQ(tempFiles, CountTempFiles(L"vk_"));
}

TEST_F(Posting, WallPostOfAnEmptyNameAndANameWithALineFeed)
{
    Reply(200, "{\"response\":{\"post_id\":1}}");
    EXPECT_TRUE(PostToVkontakteWall(L"T", L"7", L"site.test", L""));
    EXPECT_TRUE(PostToVkontakteWall(L"T", L"7", L"site.test", L"a\nb"));
    std::vector<SeenRequest> requests = server_->Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ("Прикольная игра: \nsite.test", ParseForm(requests[0].query)["message"]);
    EXPECT_NE(std::string::npos, requests[1].query.find("%61%0a%62%0Asite.test"));
}

TEST_F(Posting, WallErrorClearsTheTokenAndTransferFailuresChangeNothing)
{
    StoreOption(kVkontakteTokenOption, L"T");
    StoreOption(kVkontakteUserIdOption, L"7");
    size_t tempFiles = CountTempFiles(L"vk_");

    Reply(404, "{\"response\":1}");
    EXPECT_FALSE(PostToVkontakteWall(L"T", L"7", L"l", L"n"));
    Reply(200, "<html>maintenance</html>");
    EXPECT_FALSE(PostToVkontakteWall(L"T", L"7", L"l", L"n"));
    EXPECT_EQ(L"T", Option(kVkontakteTokenOption));

    Reply(200, "{\"response\":1,\"error\":{\"error_code\":5,\"error_msg\":\"User authorization failed\"}}");
    EXPECT_FALSE(PostToVkontakteWall(L"T", L"7", L"l", L"n"));
    EXPECT_EQ(L"", Option(kVkontakteTokenOption));
    EXPECT_EQ(L"7", Option(kVkontakteUserIdOption));

    EXPECT_FALSE(PostToVkontakteWall(nullptr, L"7", L"l", L"n"));
    EXPECT_EQ(3u, server_->Requests().size());
    EXPECT_EQ(tempFiles, CountTempFiles(L"vk_"));
}

TEST_F(Posting, TokenAndUserIdStayOneValueEachInTheWallAddress)
{
    Reply(200, "{\"response\":{\"post_id\":2}}");
    EXPECT_TRUE(PostToVkontakteWall(L"a&b#c", L"7&x=1", L"site.test", L"N"));
    SeenRequest request = OnlyRequest();
    EXPECT_EQ(0u, request.query.find("owner_id=7%26x=1&access_token=a%26b%23c&message=%d0%9f"));
}
