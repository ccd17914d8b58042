#include "net/endpoints.h"

#include "shell/files.h"
#include "shell/settings.h"
#include "shell/text.h"

#include <windows.h>

#ifndef ZEL_SERVICE_URL
#define ZEL_SERVICE_URL "https://games.quivmark.example/"
#endif
#ifndef ZEL_AD_SERVICE_URL
#define ZEL_AD_SERVICE_URL "http://ads.quivmark.example/"
#endif
#ifndef ZEL_SITE_DOMAIN
#define ZEL_SITE_DOMAIN "www.quivmark.example"
#endif

namespace {

std::string JoinUrl(const std::wstring& base, const char* path)
{
    Utf8String narrow(base.c_str());
    std::string url = narrow.get() ? narrow.get() : "";
    if (!url.empty() && url.back() != '/')
        url += '/';
    if (path)
        url += path;
    return url;
}

}  // namespace

std::wstring EndpointSetting(const wchar_t* valueName, const wchar_t* builtIn)
{
    const wchar_t* keyPath = GetProductKeyPath();
    HKEY key = nullptr;
    if (keyPath && valueName && RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        std::optional<std::wstring> value = ReadRegString(key, valueName);
        RegCloseKey(key);
        if (value && !value->empty())
            return *value;
    }
    return builtIn ? builtIn : L"";
}

std::string ServiceUrl(const char* path)
{
    return JoinUrl(EndpointSetting(L"ServiceUrl", L"" ZEL_SERVICE_URL), path);
}

std::string AdServiceUrl(const char* path)
{
    return JoinUrl(EndpointSetting(L"AdServiceUrl", L"" ZEL_AD_SERVICE_URL), path);
}

std::wstring SiteDomain()
{
    return EndpointSetting(L"SiteDomain", L"" ZEL_SITE_DOMAIN);
}
