#pragma once

// The social requests' transfers: each reply goes through a temporary file
// named with the network's prefix ("fb_", "vk_") that is gone again before
// the call returns.

#include <optional>
#include <string>

// The body of a GET answered with status 200; nullopt when the transfer
// fails or the body is empty.
std::optional<std::string> DownloadText(const wchar_t* url, const wchar_t* tempPrefix);
// The reply body of a form POST, whatever its status; nullopt when the
// transfer fails or the body is empty.
std::optional<std::string> PostFormForText(const wchar_t* url, const wchar_t* body,
                                           const wchar_t* tempPrefix);
