#include <gtest/gtest.h>

#include "social/addresses.h"
#include "social/encoding.h"
#include "socialtest.h"

#include "shell/text.h"

using namespace zeltest;

TEST(PercentEncodeUtf8, EveryByteBecomesLowerCaseHex)
{
    std::wstring out;
    PercentEncodeUtf8("Tetris", out);
    EXPECT_EQ(L"%54%65%74%72%69%73", out);

    std::wstring prefix;
    PercentEncodeUtf8(Utf8String(L"Прикольная игра: ").get(), prefix);
    EXPECT_EQ(0u, prefix.find(L"%d0%9f%d1%80"));
    EXPECT_EQ(31u * 3, prefix.size());  // 14 Cyrillic letters of two bytes, three ASCII
    EXPECT_EQ(L"%3a%20", prefix.substr(prefix.size() - 6));

    std::wstring lineFeed = L"kept:";
    PercentEncodeUtf8("a\nb", lineFeed);
    EXPECT_EQ(L"kept:%61%0a%62", lineFeed);  // appended, not replaced

    std::wstring none = L"x";
    PercentEncodeUtf8(nullptr, none);
    EXPECT_EQ(L"x", none);
}

TEST(UrlValues, PlainTextsAreEncodedWhole)
{
    EXPECT_EQ(L"Puzzle%20%26%20Co%3D1%2B2%23", EncodeUrlValue(L"Puzzle & Co=1+2#"));
    EXPECT_EQ(L"%D0%98%D0%B3%D1%80%D0%B0", EncodeUrlValue(L"Игра"));
    EXPECT_EQ(L"a-b.c_d~9", EncodeUrlValue(L"a-b.c_d~9"));
    EXPECT_EQ(L"", EncodeUrlValue(nullptr));
}

TEST(UrlValues, AddressTextsKeepTheirEscapes)
{
    // A link our own code formed, its inner query already escaped: unchanged.
    const wchar_t* link = L"http://site.test/r.php?act=fb_info%26id%3D5";
    EXPECT_EQ(link, EscapeUrlText(link));
    EXPECT_EQ(L"site.test/review/game-my-game/hit-vk/", EscapeUrlText(L"site.test/review/game-my-game/hit-vk/"));
    // What would end or split a value is escaped.
    EXPECT_EQ(L"a%26b%23c=d%2Be%20f", EscapeUrlText(L"a&b#c=d+e f"));
    EXPECT_EQ(L"%C3%A9", EscapeUrlText(L"é"));
}

TEST(Addresses, BareHostsTakeTheSchemesOfEachAddress)
{
    ClearSocialSettings();
    SetSocialSetting(L"FacebookHost", L"fb.example");
    SetSocialSetting(L"FacebookGraphHost", L"graph.fb.example");
    SetSocialSetting(L"VkontakteApiHost", L"api.vk.example");
    SetSocialSetting(L"FacebookAppId", L"4242");
    EXPECT_EQ(L"https://fb.example/help", FacebookHelpPrefix());
    EXPECT_EQ(L"https://fb.example/login/help.php", FacebookLoginHelpPage());
    EXPECT_EQ(L"http://fb.example/connect/login_success.html", FacebookLoginSuccessPage());
    EXPECT_EQ(L"https://graph.fb.example/", FacebookGraphRoot());
    EXPECT_EQ(L"http://fb.example/dialog/oauth?client_id=4242&display=popup&locale=ru_RU"
              L"&response_type=token&scope=publish_stream,offline_access"
              L"&redirect_uri=http://fb.example/connect/login_success.html",
              FacebookAuthorizationUrl());
    EXPECT_EQ(L"http://api.vk.example/oauth/grant_access", VkontakteGrantPage(false));
    EXPECT_EQ(L"https://api.vk.example/oauth/grant_access", VkontakteGrantPage(true));
    EXPECT_EQ(L"http://api.vk.example/blank.html", VkontakteBlankPage());
    EXPECT_EQ(L"https://api.vk.example/oauth/authorize?", VkontakteAuthorizationPage());
    EXPECT_EQ(L"https://api.vk.example/method/wall.post?owner_id=", VkontakteWallPostPrefix());
    // An application id cannot add parameters of its own.
    SetSocialSetting(L"FacebookAppId", L"42&scope=x");
    EXPECT_EQ(0u, FacebookAuthorizationUrl().find(L"http://fb.example/dialog/oauth?client_id=42%26scope=x&display=popup"));
    ClearSocialSettings();
}

TEST(Addresses, AnOriginWithItsSchemeServesEveryAddressOfItsHost)
{
    ClearSocialSettings();
    SetSocialSetting(L"VkontakteApiHost", L"http://127.0.0.1:8080/");
    EXPECT_EQ(L"http://127.0.0.1:8080/blank.html", VkontakteBlankPage());
    EXPECT_EQ(L"http://127.0.0.1:8080/oauth/authorize?", VkontakteAuthorizationPage());
    EXPECT_EQ(L"http://127.0.0.1:8080/oauth/grant_access", VkontakteGrantPage(true));
    ClearSocialSettings();
    // Built-in defaults when nothing is configured.
    EXPECT_EQ(L"https://graph.facebook.com/", FacebookGraphRoot());
}
