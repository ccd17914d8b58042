#include <gtest/gtest.h>

#include "httpserver.h"
#include "social/navigation.h"
#include "social/options.h"
#include "social/social.h"
#include "socialtest.h"

#include <memory>
#include <vector>

using namespace zeltest;

namespace {

struct ShareCall {
    uint32_t gameId;
    uint32_t network;
};

class Login : public SocialTest {
protected:
    void SetUp() override
    {
        SocialTest::SetUp();
        server_ = std::make_unique<HttpServer>(
            [](const SeenRequest&) { return TextReply("{\"id\":\"555\"}"); });
        ASSERT_TRUE(server_->Listening());
        PointNetworksAt(server_->Origin());
    }
    void TearDown() override
    {
        server_.reset();
        SocialTest::TearDown();
    }

    // A dialog that ends with code without touching anything.
    LoginDialogRunner DialogEndingWith(int code)
    {
        return [this, code](const wchar_t* url) {
            dialogUrls_.push_back(url ? url : L"(null)");
            return code;
        };
    }
    // A dialog whose browser arrives at the redirect address, handled as the
    // Facebook sink handles it.
    LoginDialogRunner FacebookDialogArrivingAt(std::wstring redirect)
    {
        return [this, redirect](const wchar_t* url) {
            dialogUrls_.push_back(url);
            SocialNavigation n = FacebookNavigateComplete(redirect.c_str());
            if (!n.fetchUserIdWith.empty())
                FetchFacebookUserId(n.fetchUserIdWith.c_str());
            return n.closeCode.value_or(0);
        };
    }
    LoginDialogRunner VkontakteDialogArrivingAt(std::wstring redirect)
    {
        return [this, redirect](const wchar_t* url) {
            dialogUrls_.push_back(url);
            return VkontakteNavigateComplete(redirect.c_str()).closeCode.value_or(0);
        };
    }
    ShareDialogCaller Page(bool answer)
    {
        return [this, answer](uint32_t gameId, uint32_t network) {
            shareCalls_.push_back({gameId, network});
            return answer;
        };
    }
    std::wstring Origin() const { return server_->Origin(); }

    std::unique_ptr<HttpServer> server_;
    std::vector<std::wstring> dialogUrls_;
    std::vector<ShareCall> shareCalls_;
};

}  // namespace

TEST_F(Login, FacebookWithTokenAndIdGoesStraightToTheShareDialog)
{
    StoreOption(kFacebookTokenOption, L"tok");
    StoreOption(kFacebookUserIdOption, L"100");
    EXPECT_EQ(1, FacebookLogin(42, DialogEndingWith(0), Page(true)));
    EXPECT_TRUE(dialogUrls_.empty());
    ASSERT_EQ(1u, shareCalls_.size());
    EXPECT_EQ(42u, shareCalls_[0].gameId);
    EXPECT_EQ(1u, shareCalls_[0].network);
    EXPECT_TRUE(server_->Requests().empty());

    EXPECT_EQ(4, FacebookLogin(42, DialogEndingWith(0), Page(false)));
}

TEST_F(Login, FacebookTokenWithoutIdFetchesTheId)
{
    StoreOption(kFacebookTokenOption, L"tok");
    EXPECT_EQ(1, FacebookLogin(7, DialogEndingWith(0), Page(true)));
    EXPECT_EQ(L"555", Option(kFacebookUserIdOption));
    EXPECT_TRUE(dialogUrls_.empty());

    ClearOptions();
    StoreOption(kFacebookTokenOption, L"tok");
    server_->HandleOthers([](const SeenRequest&) { return TextReply("down", 500); });
    EXPECT_EQ(3, FacebookLogin(7, DialogEndingWith(0), Page(true)));
    EXPECT_EQ(L"tok", Option(kFacebookTokenOption));
    EXPECT_EQ(1u, shareCalls_.size());
}

TEST_F(Login, FacebookDialogOutcomes)
{
    EXPECT_EQ(2, FacebookLogin(7, DialogEndingWith(2), Page(true)));
    ASSERT_EQ(1u, dialogUrls_.size());
    EXPECT_EQ(Origin() + L"/dialog/oauth?client_id=", dialogUrls_[0].substr(0, Origin().size() + 24));
    EXPECT_NE(std::wstring::npos,
              dialogUrls_[0].find(L"&redirect_uri=" + Origin() + L"/connect/login_success.html"));
    EXPECT_TRUE(OptionRowExists(kFacebookTokenOption));
    EXPECT_EQ(L"", Option(kFacebookTokenOption));

    EXPECT_EQ(-1, FacebookLogin(7, DialogEndingWith(-1), Page(true)));
    EXPECT_EQ(4, FacebookLogin(7, DialogEndingWith(4), Page(true)));
    EXPECT_EQ(3, FacebookLogin(7, DialogEndingWith(3), Page(true)));
    // Closed without a code and without a token (Alt+F4 on the waiting text).
    EXPECT_EQ(2, FacebookLogin(7, DialogEndingWith(0), Page(true)));
    EXPECT_EQ(-1, FacebookLogin(7, nullptr, Page(true)));
    EXPECT_TRUE(shareCalls_.empty());
}

TEST_F(Login, FacebookLoginThroughTheSuccessRedirect)
{
    EXPECT_EQ(1, FacebookLogin(9, FacebookDialogArrivingAt(Origin() +
                                                           L"/connect/login_success.html#access_token=NEW&expires_in=0"),
                               Page(true)));
    EXPECT_EQ(L"NEW", Option(kFacebookTokenOption));
    EXPECT_EQ(L"555", Option(kFacebookUserIdOption));
    ASSERT_EQ(1u, server_->Requests().size());
    EXPECT_EQ("/me?access_token=NEW", server_->Requests()[0].target);

    ClearOptions();
    EXPECT_EQ(2, FacebookLogin(9, FacebookDialogArrivingAt(Origin() +
                                                           L"/connect/login_success.html?error_reason=user_denied"),
                               Page(true)));
    EXPECT_EQ(L"", Option(kFacebookTokenOption));

    // The id the dialog could not have is not asked for again.
    server_->HandleOthers([](const SeenRequest&) { return TextReply("down", 500); });
    server_->ClearRequests();
    EXPECT_EQ(3, FacebookLogin(9, FacebookDialogArrivingAt(Origin() + L"/connect/login_success.html#access_token=T"),
                               Page(true)));
    EXPECT_EQ(1u, server_->Requests().size());
}

TEST_F(Login, VkontakteNeedsBothTokenAndUserId)
{
    StoreOption(kVkontakteTokenOption, L"T");
    StoreOption(kVkontakteUserIdOption, L"77");
    EXPECT_EQ(1, VkontakteLoginAndNotify(5, DialogEndingWith(4), Page(true)));
    EXPECT_TRUE(dialogUrls_.empty());
    ASSERT_EQ(1u, shareCalls_.size());
    EXPECT_EQ(5u, shareCalls_[0].gameId);
    EXPECT_EQ(0u, shareCalls_[0].network);
    EXPECT_EQ(4, VkontakteLoginAndNotify(5, DialogEndingWith(4), Page(false)));

    // A stored token without a user id opens the dialog.
    StoreOption(kVkontakteUserIdOption, L"");
    SetSocialSetting(L"VkontakteAppId", L"55");
    EXPECT_EQ(4, VkontakteLogin(DialogEndingWith(4)));
    ASSERT_EQ(1u, dialogUrls_.size());
    EXPECT_EQ(Origin() + L"/oauth/authorize?client_id=55&display=wap&response_type=token&scope=wall,offline"
                         L"&redirect_uri=" + Origin() + L"/blank.html",
              dialogUrls_[0]);
    EXPECT_EQ(L"", Option(kVkontakteTokenOption));
    EXPECT_EQ(L"", Option(kVkontakteUserIdOption));
}

TEST_F(Login, VkontakteDialogOutcomes)
{
    EXPECT_EQ(2, VkontakteLoginAndNotify(5, DialogEndingWith(2), Page(true)));
    EXPECT_EQ(-1, VkontakteLoginAndNotify(5, DialogEndingWith(-1), Page(true)));
    EXPECT_EQ(4, VkontakteLoginAndNotify(5, DialogEndingWith(0), Page(true)));  // nothing stored
    EXPECT_TRUE(shareCalls_.empty());

    EXPECT_EQ(1, VkontakteLoginAndNotify(
                     5, VkontakteDialogArrivingAt(Origin() + L"/blank.html#access_token=VT&expires_in=0&user_id=9"),
                     Page(true)));
    EXPECT_EQ(L"VT", Option(kVkontakteTokenOption));
    EXPECT_EQ(L"9", Option(kVkontakteUserIdOption));

    ClearOptions();
    EXPECT_EQ(4, VkontakteLogin(VkontakteDialogArrivingAt(Origin() + L"/blank.html#access_token=VT")));
    EXPECT_EQ(L"", Option(kVkontakteTokenOption));
}

TEST_F(Login, VkontakteAuthorizationAddressMustFit)
{
    SetSocialSetting(L"VkontakteAppId", std::wstring(1000, L'9'));
    EXPECT_EQ(4, VkontakteLogin(DialogEndingWith(0)));
    EXPECT_TRUE(dialogUrls_.empty());
}
