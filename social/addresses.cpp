#include "social/addresses.h"

#include "social/encoding.h"
#include "net/endpoints.h"

namespace {

// Deployment values and their built-in defaults.
std::wstring FacebookMainHost() { return EndpointSetting(L"FacebookHost", L"www.facebook.com"); }
std::wstring FacebookGraphHost() { return EndpointSetting(L"FacebookGraphHost", L"graph.facebook.com"); }
std::wstring FacebookAppId() { return EndpointSetting(L"FacebookAppId", L"0"); }
std::wstring VkontakteMobileHost() { return EndpointSetting(L"VkontakteMobileHost", L"m.vk.com"); }
std::wstring VkontakteSiteHost() { return EndpointSetting(L"VkontakteHost", L"vk.com"); }
std::wstring VkontakteMainHost() { return EndpointSetting(L"VkontakteMainHost", L"vk.com"); }
std::wstring VkontakteApiHost() { return EndpointSetting(L"VkontakteApiHost", L"api.vk.com"); }

// "scheme://host", or the value itself (without a final "/") when it
// carries its own scheme.
std::wstring Origin(const wchar_t* scheme, std::wstring host)
{
    if (StartsWith(host, L"http://") || StartsWith(host, L"https://")) {
        while (!host.empty() && host.back() == L'/')
            host.pop_back();
        return host;
    }
    return std::wstring(scheme) + L"://" + host;
}

}  // namespace

bool StartsWith(const std::wstring& text, const std::wstring& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::wstring FacebookHelpPrefix()
{
    return Origin(L"https", FacebookMainHost()) + L"/help";
}

std::wstring FacebookLoginHelpPage()
{
    return Origin(L"https", FacebookMainHost()) + L"/login/help.php";
}

std::wstring FacebookLoginSuccessPage()
{
    return Origin(L"http", FacebookMainHost()) + L"/connect/login_success.html";
}

std::wstring FacebookAuthorizationUrl()
{
    return Origin(L"http", FacebookMainHost()) + L"/dialog/oauth?client_id=" +
           EscapeUrlText(FacebookAppId().c_str()) +
           L"&display=popup&locale=ru_RU&response_type=token&scope=publish_stream,offline_access"
           L"&redirect_uri=" +
           EscapeUrlText(FacebookLoginSuccessPage().c_str());
}

std::wstring FacebookGraphRoot()
{
    return Origin(L"https", FacebookGraphHost()) + L"/";
}

std::wstring FacebookCaption()
{
    return EndpointSetting(L"FacebookCaption", L"quivmark.ru");
}

std::wstring VkontakteMobileSite()
{
    return Origin(L"http", VkontakteMobileHost());
}

std::wstring VkontakteSite()
{
    return Origin(L"http", VkontakteSiteHost()) + L"/";
}

std::wstring VkontakteMainPage()
{
    return Origin(L"http", VkontakteMainHost());
}

std::wstring VkontakteGrantPage(bool https)
{
    return Origin(https ? L"https" : L"http", VkontakteApiHost()) + L"/oauth/grant_access";
}

std::wstring VkontakteBlankPage()
{
    return Origin(L"http", VkontakteApiHost()) + L"/blank.html";
}

std::wstring VkontakteAuthorizationPage()
{
    return Origin(L"https", VkontakteApiHost()) + L"/oauth/authorize?";
}

std::wstring VkontakteWallPostPrefix()
{
    return Origin(L"https", VkontakteApiHost()) + L"/method/wall.post?owner_id=";
}

std::wstring VkontakteAppId()
{
    return EndpointSetting(L"VkontakteAppId", L"0");
}
