#include <gtest/gtest.h>

#include "social/navigation.h"
#include "social/options.h"
#include "socialtest.h"

using namespace zeltest;

namespace {

class Navigation : public SocialTest {
protected:
    void SetUp() override
    {
        SocialTest::SetUp();
        SetSocialSetting(L"FacebookHost", L"fb.test");
        SetSocialSetting(L"VkontakteHost", L"vk.test");
        SetSocialSetting(L"VkontakteMobileHost", L"m.vk.test");
        SetSocialSetting(L"VkontakteMainHost", L"www.vk.test");
        SetSocialSetting(L"VkontakteApiHost", L"api.vk.test");
    }
};

}  // namespace

TEST_F(Navigation, FacebookSuccessPageStoresTheTokenWhereverItStands)
{
    SocialNavigation n = FacebookNavigateComplete(
        L"http://fb.test/connect/login_success.html#state=x&expires_in=0&access_token=AAA.b-c");
    ASSERT_TRUE(n.closeCode);
    EXPECT_EQ(0, *n.closeCode);
    EXPECT_FALSE(n.cancel);
    EXPECT_EQ(L"AAA.b-c", n.fetchUserIdWith);
    EXPECT_EQ(L"AAA.b-c", Option(kFacebookTokenOption));
}

TEST_F(Navigation, FacebookRefusalHelpAndBrokenRedirects)
{
    SocialNavigation denied = FacebookNavigateComplete(
        L"http://fb.test/connect/login_success.html?error_reason=user_denied&error=access_denied");
    EXPECT_EQ(2, denied.closeCode.value_or(-1));
    EXPECT_FALSE(OptionRowExists(kFacebookTokenOption));

    SocialNavigation noToken =
        FacebookNavigateComplete(L"http://fb.test/connect/login_success.html#expires_in=0");
    EXPECT_EQ(4, noToken.closeCode.value_or(-1));
    EXPECT_FALSE(OptionRowExists(kFacebookTokenOption));
    EXPECT_TRUE(noToken.fetchUserIdWith.empty());

    StoreOption(kFacebookTokenOption, L"old");
    SocialNavigation help = FacebookNavigateComplete(L"https://fb.test/login/help.php?ref=x");
    EXPECT_EQ(3, help.closeCode.value_or(-1));
    EXPECT_EQ(L"", Option(kFacebookTokenOption));

    // The login form itself, and the success page reached over another scheme.
    EXPECT_FALSE(FacebookNavigateComplete(L"http://fb.test/dialog/oauth?client_id=1").closeCode);
    EXPECT_FALSE(
        FacebookNavigateComplete(L"https://fb.test/connect/login_success.html#access_token=x").closeCode);
}

TEST_F(Navigation, FacebookHelpOpensInTheUsersBrowser)
{
    SocialNavigation help = FacebookBeforeNavigate(L"https://fb.test/help/?page=1");
    EXPECT_TRUE(help.cancel);
    EXPECT_EQ(L"https://fb.test/help/?page=1", help.openInBrowser);
    EXPECT_FALSE(help.closeCode);

    SocialNavigation login = FacebookBeforeNavigate(L"https://fb.test/login.php");
    EXPECT_FALSE(login.cancel);
    EXPECT_TRUE(login.openInBrowser.empty());
}

TEST_F(Navigation, VkontakteBlankPageNeedsTokenAndUserId)
{
    SocialNavigation partial =
        VkontakteNavigateComplete(L"http://api.vk.test/blank.html#access_token=T1&expires_in=0");
    EXPECT_EQ(4, partial.closeCode.value_or(-1));
    EXPECT_FALSE(OptionRowExists(L"vkontakte_access_token"));
    EXPECT_FALSE(OptionRowExists(L"vkontakte_user_id"));

    SocialNavigation both = VkontakteNavigateComplete(
        L"http://api.vk.test/blank.html#access_token=T2&expires_in=0&user_id=777");
    EXPECT_EQ(0, both.closeCode.value_or(-1));
    EXPECT_EQ(L"T2", Option(L"vkontakte_access_token"));
    EXPECT_EQ(L"777", Option(L"vkontakte_user_id"));

    EXPECT_FALSE(VkontakteNavigateComplete(L"https://api.vk.test/oauth/authorize?x=1").closeCode);
}

TEST_F(Navigation, VkontakteSiteLinksLeaveTheDialog)
{
    SocialNavigation mobile = VkontakteBeforeNavigate(L"http://m.vk.test/join?x=1");
    EXPECT_TRUE(mobile.cancel);
    EXPECT_EQ(L"http://www.vk.test", mobile.openInBrowser);

    SocialNavigation site = VkontakteBeforeNavigate(L"http://vk.test/terms");
    EXPECT_TRUE(site.cancel);
    EXPECT_EQ(L"http://vk.test/terms", site.openInBrowser);

    for (const wchar_t* refused : {L"http://api.vk.test/oauth/grant_access?hash=1&cancel=1",
                                   L"https://api.vk.test/oauth/grant_access?cancel=1"}) {
        SocialNavigation n = VkontakteBeforeNavigate(refused);
        EXPECT_TRUE(n.cancel);
        EXPECT_EQ(2, n.closeCode.value_or(-1));
        EXPECT_TRUE(n.openInBrowser.empty());
    }

    SocialNavigation grant = VkontakteBeforeNavigate(L"https://api.vk.test/oauth/grant_access?hash=1");
    EXPECT_FALSE(grant.cancel);
    EXPECT_FALSE(grant.closeCode);
    EXPECT_FALSE(VkontakteBeforeNavigate(L"https://api.vk.test/oauth/authorize?client_id=1").cancel);
}

TEST_F(Navigation, ErrorsEndTheDialogExceptServerFailures)
{
    for (long code : {404L, 400L, 499L, -2146697211L /* INET_E_RESOURCE_NOT_FOUND */}) {
        SocialNavigation n = SocialNavigateError(code);
        EXPECT_TRUE(n.cancel) << code;
        EXPECT_EQ(4, n.closeCode.value_or(-1)) << code;
    }
    for (long code : {503L, 500L, 399L}) {
        SocialNavigation n = SocialNavigateError(code);
        EXPECT_FALSE(n.cancel) << code;
        EXPECT_FALSE(n.closeCode) << code;
    }
}
