#pragma once

// The social networks' addresses. Host names, application ids and the
// caption are deployment values: string values under the product key
// HKCU\Software\<product name> (EndpointSetting, net/endpoints.h), with
// built-in defaults:
//
//   "FacebookHost"         www.facebook.com    "FacebookGraphHost"  graph.facebook.com
//   "FacebookAppId"        0                   "FacebookCaption"    quivmark.ru
//   "VkontakteHost"        vk.com              "VkontakteMobileHost" m.vk.com
//   "VkontakteMainHost"    vk.com              "VkontakteApiHost"   api.vk.com
//   "VkontakteAppId"       0
//
// A host given as a bare name takes the scheme each address needs; a value
// given with its scheme ("http://127.0.0.1:8080") is the origin of every
// address on that host, which is how a test points the program at a local
// server.

#include <string>

// Facebook (origin forms without a final "/").
std::wstring FacebookHelpPrefix();          // https://<main>/help
std::wstring FacebookLoginHelpPage();       // https://<main>/login/help.php
std::wstring FacebookLoginSuccessPage();    // http://<main>/connect/login_success.html
std::wstring FacebookAuthorizationUrl();    // http://<main>/dialog/oauth?<query>
std::wstring FacebookGraphRoot();           // https://<graph>/
std::wstring FacebookCaption();

// VKontakte.
std::wstring VkontakteMobileSite();              // http://<mobile>
std::wstring VkontakteSite();                    // http://<site>/
std::wstring VkontakteMainPage();                // http://<canonical>
std::wstring VkontakteGrantPage(bool https);     // http(s)://<api>/oauth/grant_access
std::wstring VkontakteBlankPage();               // http://<api>/blank.html
std::wstring VkontakteAuthorizationPage();       // https://<api>/oauth/authorize?
std::wstring VkontakteWallPostPrefix();          // https://<api>/method/wall.post?owner_id=
std::wstring VkontakteAppId();

// True when text begins with prefix, character for character.
bool StartsWith(const std::wstring& text, const std::wstring& prefix);
