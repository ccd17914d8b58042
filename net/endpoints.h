#pragma once

// Where the web services live. Each address has a built-in default (fixed
// at build time) that a string value under the product key
// HKCU\Software\<product name> replaces when present and not empty:
//
//   "ServiceUrl"    the publisher's web service, e.g. https://host/ (the
//                   update, login, icon and custom-data endpoints are
//                   paths below it)
//   "AdServiceUrl"  the advertisement service, e.g. http://host/
//   "SiteDomain"    the publisher's site, host name only
//
// The registry is read on every call, so a changed value counts at once.

#include <string>

// The setting valueName of the product key, or builtIn when it is missing
// or empty.
std::wstring EndpointSetting(const wchar_t* valueName, const wchar_t* builtIn);

// An address of the web service: its base address (a "/" added when it
// lacks one) followed by path, e.g. ServiceUrl("update.php").
std::string ServiceUrl(const char* path);
// An address of the advertisement service, formed the same way.
std::string AdServiceUrl(const char* path);
// The site's domain name (no scheme).
std::wstring SiteDomain();
