// Reading what an address names: res:// resources of a module, http and
// https on this machine through WinINet, and about: pages.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace htmlengine {

struct LoadRequest {
    std::wstring url;
    std::string postData;  // sent with POST when not empty
    std::wstring headers;  // extra request headers, CRLF separated
};

struct LoadResult {
    HRESULT error = S_OK;  // why nothing could be read (INET_E_*), else S_OK
    long status = 0;       // HTTP status of the final answer; 0 for other schemes
    std::string body;
    std::wstring url;      // the address finally read (after redirects)
    std::wstring charset;  // from the answer's Content-Type, when given

    bool ok() const { return SUCCEEDED(error) && status < 400; }
    // The status code a NavigateError event reports.
    long navigateErrorCode() const { return FAILED(error) ? static_cast<long>(error) : status; }
};

LoadResult Load(const LoadRequest& request);

// Resolves `ref` (absolute or relative) against the page address `base`.
std::wstring ResolveUrl(std::wstring_view base, std::wstring_view ref);

// The part of an address before its fragment.
std::wstring_view WithoutFragment(std::wstring_view url);

// Turns page bytes into text: byte-order mark first, then the charset of the
// answer or of a meta tag, then UTF-8 when the bytes are valid UTF-8, else
// the ANSI code page.
std::wstring DecodePage(const std::string& bytes, std::wstring_view charset);

}  // namespace htmlengine
