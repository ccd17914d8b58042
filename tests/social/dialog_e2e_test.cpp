#include <gtest/gtest.h>

#include "httpserver.h"
#include "social/logindialog.h"
#include "social/options.h"
#include "social/social.h"
#include "socialtest.h"

#include <windows.h>

#include <memory>

// The login dialogs end to end: the real dialog, hosting layer and sinks,
// the stand-in HTML engine of the test prefix, and a local server playing
// the networks' authorisation pages and APIs.

using namespace zeltest;

namespace {

struct DialogLook {
    bool seen = false;
    bool browserShown = false;
    int width = 0;
    int height = 0;
};
DialogLook g_look;

// Looks at the open dialog, then closes it the way a user's Alt+F4 does.
void CALLBACK LookAndClose(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = FindThreadDialog();
    if (!dialog)
        return;
    KillTimer(nullptr, timer);
    g_look.seen = true;
    g_look.browserShown = IsWindowVisible(GetDlgItem(dialog, 1002)) != FALSE;
    RECT rect;
    GetWindowRect(dialog, &rect);
    g_look.width = rect.right - rect.left;
    g_look.height = rect.bottom - rect.top;
    SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

HttpReply Page(const std::string& body)
{
    return TextReply("<html><body>" + body + "</body></html>");
}

class SocialDialog : public SocialTest {
protected:
    void SetUp() override
    {
        SocialTest::SetUp();
        g_look = {};
        server_ = std::make_unique<HttpServer>([this](const SeenRequest& request) { return Route(request); });
        ASSERT_TRUE(server_->Listening());
        origin_ = "http://127.0.0.1:" + std::to_string(server_->Port());
        for (const wchar_t* name : {L"FacebookHost", L"FacebookGraphHost", L"VkontakteApiHost"})
            SetSocialSetting(name, server_->Origin());
        // Site links leave the dialog for the user's browser; none of these
        // hosts is ever reached from a test.
        SetSocialSetting(L"VkontakteHost", L"vk.invalid");
        SetSocialSetting(L"VkontakteMobileHost", L"m.vk.invalid");
        SetSocialSetting(L"VkontakteMainHost", L"www.vk.invalid");
        SetSocialSetting(L"FacebookAppId", L"321");
        SetSocialSetting(L"VkontakteAppId", L"654");
        timer_ = SetTimer(nullptr, 0, 8000, LookAndClose);  // never hang the run
    }
    void TearDown() override
    {
        KillTimer(nullptr, timer_);
        server_.reset();
        SocialTest::TearDown();
    }

    // The authorisation page's answer; the other pages are fixed.
    HttpReply Route(const SeenRequest& request)
    {
        std::string path = request.path;
        if (path == "/dialog/oauth" || path == "/oauth/authorize")
            return authorize_(request);
        if (path == "/me")
            return TextReply("{\"name\":\"Ann\",\"id\":\"4711\"}");
        return Page("redirect target");
    }
    std::vector<std::string> Paths() const
    {
        std::vector<std::string> paths;
        for (const SeenRequest& request : server_->Requests())
            paths.push_back(request.target);
        return paths;
    }

    std::unique_ptr<HttpServer> server_;
    std::string origin_;
    std::function<HttpReply(const SeenRequest&)> authorize_;
    UINT_PTR timer_ = 0;
    std::vector<std::pair<uint32_t, uint32_t>> shared_;
    ShareDialogCaller page_ = [this](uint32_t game, uint32_t network) {
        shared_.emplace_back(game, network);
        return true;
    };
};

}  // namespace

TEST_F(SocialDialog, FacebookLoginStoresTokenAndUserIdThenShowsTheShareDialog)
{
    authorize_ = [this](const SeenRequest&) {
        return RedirectReply(302, origin_ + "/connect/login_success.html#expires_in=0&access_token=FBTOK");
    };
    EXPECT_EQ(1, FacebookLogin(31, RunFacebookLoginDialog, page_));
    EXPECT_EQ(L"FBTOK", Option(kFacebookTokenOption));
    EXPECT_EQ(L"4711", Option(kFacebookUserIdOption));
    ASSERT_EQ(1u, shared_.size());
    EXPECT_EQ(31u, shared_[0].first);
    EXPECT_EQ(1u, shared_[0].second);
    std::vector<std::string> paths = Paths();
    ASSERT_EQ(3u, paths.size());
    EXPECT_EQ("/dialog/oauth?client_id=321&display=popup&locale=ru_RU&response_type=token"
              "&scope=publish_stream,offline_access&redirect_uri=" + origin_ + "/connect/login_success.html",
              paths[0]);
    EXPECT_EQ("/connect/login_success.html", paths[1]);
    EXPECT_EQ("/me?access_token=FBTOK", paths[2]);
}

TEST_F(SocialDialog, FacebookRefusalEndsWithTwoAndStoresNothing)
{
    authorize_ = [this](const SeenRequest&) {
        return RedirectReply(302, origin_ + "/connect/login_success.html?error_reason=user_denied&error=access_denied");
    };
    EXPECT_EQ(2, FacebookLogin(31, RunFacebookLoginDialog, page_));
    EXPECT_EQ(L"", Option(kFacebookTokenOption));
    EXPECT_FALSE(OptionRowExists(kFacebookUserIdOption));
    EXPECT_TRUE(shared_.empty());
}

TEST_F(SocialDialog, UserClosingTheShownLoginPageEndsWithZeroAndNoToken)
{
    authorize_ = [](const SeenRequest&) { return Page("<form>login</form>"); };
    KillTimer(nullptr, timer_);
    timer_ = SetTimer(nullptr, 0, 1500, LookAndClose);
    EXPECT_EQ(2, FacebookLogin(31, RunFacebookLoginDialog, page_));
    ASSERT_TRUE(g_look.seen);
    // The completed page sized the dialog to the browser and showed it.
    EXPECT_TRUE(g_look.browserShown);
    EXPECT_EQ(580, g_look.width);
    EXPECT_EQ(400, g_look.height);
}

TEST_F(SocialDialog, VkontakteLoginStoresTokenAndUserId)
{
    authorize_ = [this](const SeenRequest&) {
        return RedirectReply(302, origin_ + "/blank.html#access_token=VKT&expires_in=0&user_id=99");
    };
    EXPECT_EQ(1, VkontakteLoginAndNotify(8, RunVkontakteLoginDialog, page_));
    EXPECT_EQ(L"VKT", Option(kVkontakteTokenOption));
    EXPECT_EQ(L"99", Option(kVkontakteUserIdOption));
    ASSERT_EQ(1u, shared_.size());
    EXPECT_EQ(0u, shared_[0].second);
    std::vector<std::string> paths = Paths();
    ASSERT_LE(1u, paths.size());
    EXPECT_EQ("/oauth/authorize?client_id=654&display=wap&response_type=token&scope=wall,offline"
              "&redirect_uri=" + origin_ + "/blank.html",
              paths[0]);
}

TEST_F(SocialDialog, VkontakteErrorRedirectAndNavigationErrorsEndWithFour)
{
    authorize_ = [this](const SeenRequest&) {
        return RedirectReply(302, origin_ + "/blank.html#error=access_denied&error_description=denied");
    };
    EXPECT_EQ(4, VkontakteLogin(RunVkontakteLoginDialog));
    EXPECT_EQ(L"", Option(kVkontakteTokenOption));
    EXPECT_EQ(L"", Option(kVkontakteUserIdOption));

    authorize_ = [](const SeenRequest&) { return TextReply("<html>no</html>", 404); };
    EXPECT_EQ(4, VkontakteLogin(RunVkontakteLoginDialog));
    EXPECT_FALSE(g_look.seen);
}

TEST_F(SocialDialog, ServerFailurePageStaysInTheDialog)
{
    // A 503 page is shown, and the login can still go on from it.
    authorize_ = [](const SeenRequest&) {
        return TextReply("<html><body><script>location.href='/blank.html#access_token=A5&user_id=5';"
                         "</script></body></html>",
                         503);
    };
    EXPECT_EQ(0, VkontakteLogin(RunVkontakteLoginDialog));
    EXPECT_EQ(L"A5", Option(kVkontakteTokenOption));
    EXPECT_EQ(L"5", Option(kVkontakteUserIdOption));
}
